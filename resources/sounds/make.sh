#!/usr/bin/env bash
# Makes the station's two verdict sounds with sox (Debian package sox): short, mono 16-bit PCM
# WAVs that QSoundEffect plays without a decoder. OK rises (two bright notes), NG is two low
# buzzes, so an operator tells them apart without looking. CTest checks that the committed
# files are what this script makes.
#   resources/sounds/make.sh [DIR]   (default: beside this script)
set -euo pipefail
out=${1:-$(dirname "$0")}
# 22.05 kHz mono 16-bit; -D: no dither, so that the script makes the same bytes every time.
fmt=(-r 22050 -c 1 -b 16 -e signed-integer)

# OK: 1046 Hz then 1568 Hz (C6, G6), 90 ms and 140 ms, soft edges.
sox -D -n "${fmt[@]}" "$out/ok.wav" \
    synth 0.09 sine 1046.5 fade q 0.005 0.09 0.02 gain -3 : \
    synth 0.14 sine 1568 fade q 0.005 0.14 0.06 gain -3
# NG: two 180 ms square-wave buzzes at 220 Hz with a 70 ms pause, the second a little lower.
sox -D -n "${fmt[@]}" "$out/ng.wav" \
    synth 0.18 square 220 fade q 0.005 0.18 0.02 gain -9 : \
    synth 0.07 sine 0 gain -100 : \
    synth 0.18 square 196 fade q 0.005 0.18 0.03 gain -9
