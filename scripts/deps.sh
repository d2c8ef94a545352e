#!/usr/bin/env bash
# Installs the Debian packages the station needs to build, test and run; does nothing when all are
# present. Root runs apt-get directly, anyone else through sudo.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config ccache
    qt6-base-dev qt6-base-dev-tools libqt6svg6-dev qt6-l10n-tools qt6-tools-dev qt6-tools-dev-tools
    qt6-multimedia-dev sox dpkg-dev desktop-file-utils
    libgl-dev libssl-dev libsimpleini-dev libudev-dev
    libcli11-dev nlohmann-json3-dev libsqlite3-dev libqt6sql6-sqlite qt6-charts-dev libqt6opengl6-dev
    qt6-translations-l10n
    libgtest-dev libgmock-dev libbenchmark-dev
    clang libclang-rt-dev
    gputils srecord binutils python3-intelhex
    fonts-noto-cjk xauth xvfb
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=()
[ "$(id -u)" -ne 0 ] && sudo=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
