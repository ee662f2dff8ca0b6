#!/usr/bin/env bash
# Builds the fuzz targets (clang, ASan + UBSan) in build/fuzz and runs each in
# turn for its share of the time, starting from the seeds in fuzz/seeds/<target>
# and the corpus kept in build/fuzz/corpus/<target>; prints how many inputs
# each target ran. Stops at the first finding, leaving the input that caused
# it in build/fuzz/<target>-crash-*.
#
#   scripts/fuzz.sh [MINUTES=10]
#   scripts/fuzz.sh --seconds SECONDS
#
# The window target builds the whole main window and is far slower than the
# others, so it gets half a share.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"

if [ "${1:-}" = "--seconds" ]; then
    total=${2:?seconds}
else
    total=$(awk -v m="${1:-10}" 'BEGIN { printf "%d", m * 60 }')
fi

# target, length limit, shares (in halves)
plan=(
    "fuzz_reply_check 512 2"
    "fuzz_blocks 1600 2"
    "fuzz_live_record 128 2"
    "fuzz_identification 64 2"
    "fuzz_ini 1024 2"
    "fuzz_sim_requests 512 2"
    "fuzz_window 1700 1"
)
shares=0
targets=()
for entry in "${plan[@]}"; do
    read -r name _ share <<<"$entry"
    targets+=("$name")
    shares=$((shares + share))
done

fuzz="$root/build/fuzz"
CXX=clang++ cmake -S "$root" -B "$fuzz" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER=clang++ -DVEXS_FUZZ=ON >/dev/null
cmake --build "$fuzz" -j "${FUZZ_JOBS:-$(nproc)}" --target "${targets[@]}" >/dev/null

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=0:abort_on_error=1}"
# Recording where each block was allocated costs a fifth of the speed; a
# finding is replayed with the full stacks (see the message below).
case "$ASAN_OPTIONS" in
    *malloc_context_size=*) ;;
    *) ASAN_OPTIONS="$ASAN_OPTIONS:malloc_context_size=0" ;;
esac
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"

sum=0
for entry in "${plan[@]}"; do
    read -r name maxlen share <<<"$entry"
    seconds=$((total * share / shares))
    [ "$seconds" -ge 1 ] || seconds=1
    corpus="$fuzz/corpus/$name"
    log="$fuzz/$name.log"
    mkdir -p "$corpus"
    if ! "$fuzz/fuzz/$name" -max_total_time="$seconds" -max_len="$maxlen" -timeout=10 -detect_leaks=0 \
            -print_final_stats=1 -artifact_prefix="$fuzz/$name-" \
            "$corpus" "$root/fuzz/seeds/$name" >"$log" 2>&1; then
        tail -n 40 "$log"
        echo "fuzz: $name found a fault; the input is in $fuzz/$name-*" >&2
        echo "fuzz: replay it with allocation stacks: ASAN_OPTIONS=detect_leaks=0 $fuzz/fuzz/$name $fuzz/$name-<file>" >&2
        exit 1
    fi
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    runs=${runs:-0}
    sum=$((sum + runs))
    printf '%-20s %10d inputs in %4d s  %8d/s\n' "$name" "$runs" "$seconds" $((runs / seconds))
done
printf '%-20s %10d inputs in %4d s\n' "total" "$sum" "$total"
echo "fuzz: no finding"
