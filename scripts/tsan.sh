#!/usr/bin/env bash
# Builds the link and controller tests with ThreadSanitizer and runs them. Qt itself is not built
# with the sanitizer; scripts/tsan.supp lists the reports that come from its event queue.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/deps.sh
build=${KELVOR_TSAN_DIR:-build-tsan}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKELVOR_SANITIZE=thread -DKELVOR_GUI=OFF \
    -DKELVOR_BENCH=OFF >/dev/null
cmake --build "$build" --target test_link_station test_app_station
export TSAN_OPTIONS="suppressions=$PWD/scripts/tsan.supp halt_on_error=1"
"$build/tests/test_link_station"
"$build/tests/test_app_station"
