#!/usr/bin/env bash
# Builds the fuzz targets of tests/fuzz (clang's libFuzzer with AddressSanitizer and
# UndefinedBehaviorSanitizer) into ./build-fuzz and runs them one after the other:
#   scripts/fuzz.sh [seconds] [target...]
#   FUZZ_RUNS=10000000 scripts/fuzz.sh 1800     (the long run: each target to 10M or 30 minutes)
# seconds: how long each target runs (default 60); targets by name (http_head, chunked, ...), all
# when none is named. Each starts from tests/fuzz/corpus/<target> (only read) and keeps what it
# finds new in build-fuzz/corpus/<target>; an input that crashes or breaks a promise goes to
# build-fuzz/findings/<target>/. Prints one line per target (executions, coverage, findings) and
# fails when any target has a finding.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=60
if (($# > 0)) && [[ $1 =~ ^[0-9]+$ ]]; then
    seconds=$1
    shift
fi
targets=("$@")
if ((${#targets[@]} == 0)); then
    for f in tests/fuzz/target_*.cpp; do
        name=${f##*/target_}
        targets+=("${name%.cpp}")
    done
fi

build=build-fuzz
export CCACHE_BASEDIR="$PWD"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
    -DQV_FUZZ=ON >/dev/null
nice ninja -C "$build" -j2 "${targets[@]/#/fuzz_}" >"$build/fuzz-build.log" ||
    { tail -40 "$build/fuzz-build.log"; exit 1; }

export ASAN_OPTIONS="detect_leaks=0:allocator_may_return_null=1"
# Targets that read files write them to a temporary folder: in memory where the machine has it.
if [[ -d /dev/shm && -w /dev/shm ]]; then
    TMPDIR=$(mktemp -d /dev/shm/quorvanta-fuzz.XXXXXX)
    export TMPDIR
    trap 'rm -rf "$TMPDIR"' EXIT
fi
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
export QT_QPA_PLATFORM=offscreen
failed=0
for t in "${targets[@]}"; do
    corpus="$build/corpus/$t"
    findings="$build/findings/$t"
    log="$build/fuzz-$t.log"
    rm -rf "$findings"
    mkdir -p "$corpus" "$findings"
    # Inputs up to 8 KiB reach every reader's branches at many times the speed of long ones;
    # the hand-off framing needs a message past its 64 KiB limit.
    maxLen=8192
    [[ $t == handoff ]] && maxLen=70000
    args=(-max_total_time="$seconds" -print_final_stats=1 -timeout=20 -rss_limit_mb=2048
          -max_len="$maxLen" -artifact_prefix="$findings/")
    # A long run stops a target at ten million executions (or at its time).
    [[ -n ${FUZZ_RUNS:-} ]] && args+=(-runs="$FUZZ_RUNS")
    for dict in tests/fuzz/dict/"$t".dict; do
        [ -f "$dict" ] && args+=(-dict="$dict")
    done
    seedDirs=("$corpus")
    [ -d "tests/fuzz/corpus/$t" ] && seedDirs+=("tests/fuzz/corpus/$t")
    status=0
    "$build/tests/fuzz_$t" "${args[@]}" "${seedDirs[@]}" >"$log" 2>&1 || status=$?
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | cut -d' ' -f2)
    ft=$(grep -o 'ft: [0-9]*' "$log" | tail -1 | cut -d' ' -f2)
    found=$(find "$findings" -type f | wc -l)
    if ((status != 0 && found == 0)); then found=1; fi
    printf '%-12s executions %10s  coverage %5s edges %6s features  corpus %5s  findings %s\n' \
        "$t" "${runs:-?}" "${cov:-?}" "${ft:-?}" "$(find "$corpus" -type f | wc -l)" "$found"
    if ((found > 0)); then
        failed=1
        grep -m1 -A12 'ERROR\|FINDING\|runtime error' "$log" || tail -20 "$log"
    fi
done
exit "$failed"
