#!/usr/bin/env bash
# Builds the libFuzzer targets with clang under AddressSanitizer and UndefinedBehaviorSanitizer in
# their own build folder and runs each for SECONDS (default 10) from a copy of its seed corpus.
# Exits non-zero when a target finds a crash; the input is kept under <build>/fuzz-artifacts/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-10}
build=${KELVOR_FUZZ_BUILD_DIR:-build-fuzz}

targets=()
for src in fuzz/*.cpp; do targets+=("$(basename "$src" .cpp)"); done

mkdir -p "$build"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DKELVOR_FUZZ=ON -DKELVOR_GUI=OFF -DKELVOR_TESTS=OFF -DKELVOR_BENCH=OFF \
    -DKELVOR_SANITIZE=address,undefined >"$build/fuzz-configure.log" 2>&1 ||
    { tail -n 30 "$build/fuzz-configure.log"; exit 1; }
cmake --build "$build" --target "${targets[@]/#/fuzz_}" >"$build/fuzz-build.log" 2>&1 ||
    { tail -n 40 "$build/fuzz-build.log"; exit 1; }

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
artifacts="$build/fuzz-artifacts"
mkdir -p "$artifacts"
failed=0
for t in "${targets[@]}"; do
    work=$(mktemp -d)
    [ -d "fuzz/corpus/$t" ] && cp "fuzz/corpus/$t/"* "$work/" 2>/dev/null || true
    log="$build/fuzz-$t.log"
    if "$build/fuzz/fuzz_$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -artifact_prefix="$artifacts/$t-" "$work" >"$log" 2>&1; then
        runs=$(grep -o 'Done [0-9]* runs' "$log" | tail -n 1)
        echo "fuzz_$t: ${runs:-done}, no crash"
    else
        echo "fuzz_$t: CRASH (log $log, inputs in $artifacts/)"
        tail -n 40 "$log"
        failed=1
    fi
    rm -rf "$work"
done
exit $failed
