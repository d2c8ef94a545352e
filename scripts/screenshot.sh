#!/usr/bin/env bash
# Makes docs/first-burn.png, the README's screenshot of a first start after one press of "烧录",
# without a display: the station runs on Qt's offscreen platform and grabs its own window.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/deps.sh
build=${KELVOR_BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target kelvor-screenshot
QT_QPA_PLATFORM=offscreen "$build/bin/kelvor-screenshot" "${1:-docs/first-burn.png}"
