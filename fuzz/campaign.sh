#!/usr/bin/env bash
# The long fuzz campaign, run by hand (not in CI): each target in turn, one process, niced, until RUNS
# executions or SECONDS seconds, from a persistent corpus under <build>/campaign/ seeded from
# fuzz/corpus/. Prints one summary line per target (executions, coverage, corpus, findings) for
# docs/fuzzing.md. Build first with fuzz/run.sh. KELVOR_FUZZ_TIMEOUT (default 10) is libFuzzer's
# per-input bound in seconds: raise it when the machine is shared, where a stall of the whole process
# can pass for a slow input (re-run any timeout input alone to tell).
#   fuzz/campaign.sh RUNS SECONDS [TARGET...]
set -uo pipefail
cd "$(dirname "$0")/.."
runs=${1:-10000000}
seconds=${2:-3600}
shift 2 || true
build=${KELVOR_FUZZ_BUILD_DIR:-build-fuzz}
timeout=${KELVOR_FUZZ_TIMEOUT:-10}
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    for src in fuzz/*.cpp; do targets+=("$(basename "$src" .cpp)"); done
fi
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
for t in "${targets[@]}"; do
    corpus="$build/campaign/$t"
    mkdir -p "$corpus" "$build/campaign-artifacts"
    [ -d "fuzz/corpus/$t" ] && cp -n "fuzz/corpus/$t/"* "$corpus/" 2>/dev/null
    log="$build/campaign/$t.log"
    start=$(date +%s)
    nice "$build/fuzz/fuzz_$t" -runs="$runs" -max_total_time="$seconds" -timeout="$timeout" -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$build/campaign-artifacts/$t-" "$corpus" >"$log" 2>&1
    rc=$?
    done_line=$(grep -E '^#[0-9]+[[:space:]]+DONE' "$log" | tail -n 1)
    execs=$(grep -o 'stat::number_of_executed_units: [0-9]*' "$log" | grep -o '[0-9]*$')
    echo "$t: rc=$rc executions=${execs:-?} seconds=$(( $(date +%s) - start )) ${done_line#*DONE }" \
        "corpus=$(ls "$corpus" | wc -l) findings=$(ls "$build/campaign-artifacts" | grep -c "^$t-")"
done
