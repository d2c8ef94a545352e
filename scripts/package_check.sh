#!/usr/bin/env bash
# Builds the Debian package from a built tree, unpacks it into a temporary root and runs what it
# installed as a user would: `kelvor models`, `kelvor detect` through the installed simulator
# library, and the station's first start, whose KELVOR.ini and zep.log must land in the user's
# folders and never beside the program.
#   scripts/package_check.sh [BUILD_DIR]   (default: build)
set -euo pipefail
build=$(realpath "${1:-build}")
work=$(mktemp -d)
station=
cleanup() {
    [ -n "$station" ] && kill "$station" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "package check: $*" >&2; exit 1; }

cpack --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.out" 2>&1 || { cat "$work/cpack.out" >&2; fail "cpack"; }
deb=$(ls "$work"/out/kelvor_*.deb)
echo "package: $(basename "$deb") ($(du -h "$deb" | cut -f1))"
depends=$(dpkg-deb -f "$deb" Depends)
for p in libqt6widgets6 libqt6multimedia6 libqt6svg6 libssl3 libudev1; do
    grep -q "$p" <<<"$depends" || fail "Depends lacks $p: $depends"
done

root=$work/root
dpkg-deb -x "$deb" "$root"
for f in usr/bin/kelvor usr/bin/kelvor-station usr/share/kelvor/rfpwm.hex usr/share/kelvor/examples/README.md \
         usr/share/applications/kelvor-station.desktop usr/share/icons/hicolor/scalable/apps/kelvor-station.svg \
         usr/share/doc/kelvor/README.md; do
    [ -e "$root/$f" ] || fail "missing $f"
done
simlib=$(find "$root/usr/lib" -name libkelvor_sim_usbio.so | head -1)
[ -n "$simlib" ] || fail "missing libkelvor_sim_usbio.so"
if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$root/usr/share/applications/kelvor-station.desktop"
fi
grep -qx 'Exec=kelvor-station' "$root/usr/share/applications/kelvor-station.desktop" || fail "desktop entry Exec"

export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_DATA_HOME=$work/home/.local/share
unset KELVOR_HOME
mkdir -p "$HOME"
cd "$HOME"
models=$("$root/usr/bin/kelvor" models) || fail "kelvor models"
grep -q '^EP2706 ' <<<"$models" || fail "kelvor models lists no EP2706"
"$root/usr/bin/kelvor" detect --programmer "$simlib" >/dev/null || fail "kelvor detect through $simlib"
[ -f "$XDG_CONFIG_HOME/kelvor/KELVOR.ini" ] || fail "kelvor kept no KELVOR.ini in the user's config folder"
[ -s "$XDG_DATA_HOME/kelvor/zep.log" ] || fail "kelvor kept no zep.log in the user's data folder"

# The desktop entry's program: a first start writes its defaults into the user's KELVOR.ini.
rm -f "$XDG_CONFIG_HOME/kelvor/KELVOR.ini"
QT_QPA_PLATFORM=offscreen "$root/usr/bin/kelvor-station" >"$work/station.out" 2>&1 &
station=$!
for _ in $(seq 100); do
    grep -q '^DEVICE=' "$XDG_CONFIG_HOME/kelvor/KELVOR.ini" 2>/dev/null && break
    kill -0 "$station" 2>/dev/null || { cat "$work/station.out" >&2; fail "kelvor-station ended at start"; }
    sleep 0.2
done
grep -q "^FileOpenPath=$root/usr/share/kelvor/rfpwm.hex" "$XDG_CONFIG_HOME/kelvor/KELVOR.ini" \
    || fail "kelvor-station: no first-start KELVOR.ini in the user's config folder"
kill "$station"
wait "$station" 2>/dev/null || true
station=
[ -z "$(find "$root" -name KELVOR.ini -o -name zep.log)" ] || fail "files written into the installed tree"
echo "package check: installed tree runs; KELVOR.ini in $XDG_CONFIG_HOME/kelvor"
