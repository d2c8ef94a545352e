#!/usr/bin/env bash
# Installs what is missing, builds a Release build and starts the station.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/deps.sh

build=${KELVOR_BUILD_DIR:-build-release}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKELVOR_TESTS=OFF -DKELVOR_BENCH=OFF >/dev/null
cmake --build "$build" --target kelvor-station kelvor
exec "$build/bin/kelvor-station" "$@"
