#!/usr/bin/env bash
# The fault soak under the sanitizers: burns against the simulated programmer with a fault drawn
# for each (tests/tools/soak.cpp), built with AddressSanitizer + UndefinedBehaviorSanitizer and
# with ThreadSanitizer. The same seed draws the same faults and chips.
#   scripts/soak.sh [BURNS] [SEED]     default 3000 burns (the long form); ./test.sh runs a short one
set -euo pipefail
cd "$(dirname "$0")/.."
burns=${1:-3000}
seed=${2:-1}
asan=${KELVOR_ASAN_DIR:-build-asan}
tsan=${KELVOR_TSAN_DIR:-build-tsan}
export QT_QPA_PLATFORM=offscreen

cmake -S . -B "$asan" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKELVOR_SANITIZE=address,undefined \
    -DKELVOR_GUI=OFF -DKELVOR_BENCH=OFF >/dev/null
cmake --build "$asan" --target kelvor-soak
echo "== soak (address, undefined): $burns burns, seed $seed"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
    "$asan/bin/kelvor-soak" "$burns" "$seed"

cmake -S . -B "$tsan" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKELVOR_SANITIZE=thread -DKELVOR_GUI=OFF \
    -DKELVOR_BENCH=OFF >/dev/null
cmake --build "$tsan" --target kelvor-soak
# ThreadSanitizer slows the station down several times over: a third of the burns.
tburns=$(( burns / 3 > 0 ? burns / 3 : 1 ))
echo "== soak (thread): $tburns burns, seed $seed"
TSAN_OPTIONS="suppressions=$PWD/scripts/tsan.supp halt_on_error=1" "$tsan/bin/kelvor-soak" "$tburns" "$seed"
