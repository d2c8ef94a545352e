#!/usr/bin/env bash
# Makes the example images from their sources with Debian's own HEX producers:
#   gpasm (gputils), srec_cat (srecord), objcopy (binutils).
# Usage: examples/build.sh [DIR]   writes the .hex files into DIR (default: beside this script).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
out=$(mkdir -p "${1:-$here}" && cd "${1:-$here}" && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cd "$tmp"

# 14-bit (EP2706) and built-in (EP2702) models: small programs, assembled by gpasm (LF line ends,
# one type-04 record).
for prog in rfpwm blink; do
    gpasm -a inhx32 -o "$prog.hex" "$here/$prog.asm" >/dev/null
    cp "$prog.hex" "$out/$prog.hex"
done

# The other procedure kinds take test patterns with their configuration words c0-c4 (ten bytes,
# little-endian) at linear address 0x300000.

# 16-bit (EP3902): srec_cat, LF line ends.
srec_cat -generate 0x0000 0x0800 -repeat-string 'KEL-VOR EP3902 16-bit example. ' \
    -generate 0x300000 0x30000A -repeat-data 0xF3 0x00 0x45 0x00 0x4F 0x00 0x0F 0x00 0xFF 0xFF \
    -o "$out/ep3902.hex" -intel -output-block-size=16

# 39F (EP39F022): srec_cat with an execution start address, which it writes as a type-05 record.
srec_cat -generate 0x0000 0x1000 -repeat-string 'KEL-VOR EP39F022 39F example.. ' \
    -generate 0x300000 0x30000A -repeat-data 0xF3 0x00 0x45 0x00 0x4F 0x00 0x07 0x00 0x01 0x00 \
    -o "$out/ep39f022.hex" -intel -output-block-size=16 -execution-start-address=0x0000

# Charger (EP39H02): made by srec_cat, rewritten by objcopy (CR LF line ends).
srec_cat -generate 0x0000 0x0400 -repeat-string 'KEL-VOR EP39H02 charger example ' \
    -generate 0x300000 0x30000A -repeat-data 0xE3 0x00 0x05 0x00 0x0F 0x00 0x0F 0x00 0xFF 0xFF \
    -o charger.hex -intel -output-block-size=16
objcopy -I ihex -O ihex charger.hex "$out/ep39h02.hex"

# Raw (EP8505): a 2 KB application image, from binary by objcopy with a start address (type 03).
srec_cat -generate 0x0000 0x0800 -repeat-string 'KEL-VOR EP8505 raw application. ' -o app.raw -binary
objcopy -I binary -O ihex --set-start 0x3000 app.raw "$out/ep8505.hex"
