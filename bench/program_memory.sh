#!/usr/bin/env bash
# Memory of a long `kelvor program --count N` run against the simulator with its answers and the
# transfer pauses shortened (TIMING=0): prints the resident size after the first 1000 chips and at
# the end, and fails when the end is more than 5 % above the first figure.
#   bench/program_memory.sh [CHIPS] [BUILD_DIR]     (default 100000 chips, about 80 minutes)
set -euo pipefail
cd "$(dirname "$0")/.."
chips=${1:-100000}
build=${2:-build}
kelvor=$(realpath -m "$build/bin/kelvor")
[ -x "$kelvor" ] || { echo "no $kelvor: build the kelvor target first" >&2; exit 2; }
(( chips > 1000 )) || { echo "CHIPS must be more than 1000" >&2; exit 2; }

home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
printf '[SIMULATOR]\nTIMING=0\n' >"$home/KELVOR.ini"
printf ':10000000000102030405060708090A0B0C0D0E0F78\r\n:00000001FF\r\n' >"$home/small.hex"

# The chips done so far, from the count line each chip ends with; the output itself is not kept.
done_file=$home/done
echo 0 >"$done_file"
KELVOR_HOME=$home "$kelvor" program --model EP2706 "$home/small.hex" --count "$chips" \
    > >(awk -v f="$done_file" '/总次数:/ { n++; if (n % 100 == 0) { print n > f; close(f) } }') &
pid=$!

rss() { awk '/^VmRSS:/ { print $2 }' "/proc/$pid/status" 2>/dev/null || true; }
first="" last=""
while kill -0 "$pid" 2>/dev/null; do
    n=$(cat "$done_file")
    r=$(rss)
    if [ -n "$r" ]; then
        [ -z "$first" ] && (( n >= 1000 )) && { first=$r; echo "after $n chips: RSS $first kB"; }
        last=$r
        last_n=$n
    fi
    sleep 1
done
wait "$pid" || { echo "kelvor program failed" >&2; exit 1; }
[ -n "$first" ] || { echo "the run ended before 1000 chips were measured" >&2; exit 1; }
echo "after $last_n chips: RSS $last kB (of $chips)"
awk -v a="$first" -v b="$last" 'BEGIN { g = (b - a) * 100 / a; printf "growth: %.1f %%\n", g; exit (g > 5) }'
