#!/usr/bin/env bash
# Builds the domain and station tests with AddressSanitizer and UndefinedBehaviorSanitizer (a build
# folder of their own, only these targets) and runs them; the first finding fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/deps.sh
build=${KELVOR_ASAN_DIR:-build-asan}
tests=(test_base test_chips test_image test_jobs test_link
       test_base_station test_chips_station test_jobs_station test_link_station test_app_station)
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKELVOR_SANITIZE=address,undefined \
    -DKELVOR_GUI=OFF -DKELVOR_BENCH=OFF >/dev/null
cmake --build "$build" --target "${tests[@]}"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export QT_QPA_PLATFORM=offscreen
cd "$build/tests"
for t in "${tests[@]}"; do
    [ -x "$t" ] || continue # a subsystem without tests of that kind
    echo "== $t (address, undefined)"
    "./$t" --gtest_brief=1
done
