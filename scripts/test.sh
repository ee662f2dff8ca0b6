#!/usr/bin/env bash
# Installs what is missing, builds every target with AddressSanitizer and
# UndefinedBehaviorSanitizer, runs every test through CTest, then runs the
# reply fuzzer for FUZZ_SECONDS (default 60).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh"

jobs=$(nproc)
build="$root/build/asan"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVEXS_SANITIZE=ON >/dev/null
cmake --build "$build" -j "$jobs"

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS="detect_leaks=0:abort_on_error=1:strict_string_checks=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
ctest --test-dir "$build" --output-on-failure -j "$jobs"

fuzz="$root/build/fuzz"
CXX=clang++ cmake -S "$root" -B "$fuzz" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER=clang++ -DVEXS_FUZZ=ON >/dev/null
cmake --build "$fuzz" -j "$jobs" --target fuzz_replies
corpus="$fuzz/corpus"
mkdir -p "$corpus"
"$fuzz/fuzz/fuzz_replies" -max_total_time="${FUZZ_SECONDS:-60}" -max_len=4096 \
    -artifact_prefix="$fuzz/" "$corpus" \
    "$root/fuzz/seeds" 2>&1 | tail -n 5
echo "fuzz: no finding"
