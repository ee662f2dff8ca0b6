#!/usr/bin/env bash
# Installs what is missing, builds every target with AddressSanitizer and
# UndefinedBehaviorSanitizer, runs every test through CTest, then runs the
# reply fuzzer for FUZZ_SECONDS (default 60).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh"
"$root/scripts/check_portability.sh"

jobs=$(nproc)
build="$root/build/asan"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVEXS_SANITIZE=ON >/dev/null
cmake --build "$build" -j "$jobs"

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS="detect_leaks=0:abort_on_error=1:strict_string_checks=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
ctest --test-dir "$build" --output-on-failure -j "$jobs"
"$root/scripts/check_install.sh" "$build"

# Every fuzz target gets its share of FUZZ_SECONDS (default 60).
FUZZ_JOBS="$jobs" "$root/scripts/fuzz.sh" --seconds "${FUZZ_SECONDS:-60}"
