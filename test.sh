#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test through CTest.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/deps.sh

build=${KELVOR_BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build"
ctest --test-dir "$build" --output-on-failure -j "$(nproc)"

# Sanitizers: the domain and station tests under AddressSanitizer + UndefinedBehaviorSanitizer, the
# link and controller tests under ThreadSanitizer, and a short fault soak under both; a finding fails.
# (skipped with KELVOR_NO_SANITIZE=1)
if [ -z "${KELVOR_NO_SANITIZE:-}" ]; then
    scripts/asan.sh
    scripts/tsan.sh
    scripts/soak.sh "${KELVOR_SOAK_BURNS:-150}" 1
fi

# A short libFuzzer smoke of every target when clang can build them.
if [ -z "${KELVOR_NO_FUZZ:-}" ] && command -v clang++ >/dev/null && [ -x fuzz/run.sh ]; then
    fuzz/run.sh 3
fi

# --- Package: the .deb, unpacked into a temporary root, runs as installed -----------------------
# (scripts/package_check.sh; skipped with KELVOR_NO_PACKAGE=1)
if [ -z "${KELVOR_NO_PACKAGE:-}" ]; then
    scripts/package_check.sh "$build"
fi
# --- end of the package step -----------------------------------------------------------------
