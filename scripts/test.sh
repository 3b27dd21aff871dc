#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite.
# --sanitize: builds with AddressSanitizer, LeakSanitizer and UndefinedBehaviorSanitizer into
# ./build-asan and runs the suite there; a finding fails the run. Any other argument goes to
# ctest. The plain run ends with a short run of every fuzz target (scripts/fuzz.sh, 10 s each).
set -euo pipefail
cd "$(dirname "$0")/.."
sanitize=0
ctestArgs=()
for arg in "$@"; do
    case "$arg" in
        --sanitize) sanitize=1 ;;
        *) ctestArgs+=("$arg") ;;
    esac
done
scripts/deps.sh
if ((sanitize == 0)); then
    scripts/build.sh
    QT_QPA_PLATFORM=offscreen ctest --test-dir build --output-on-failure -j2 \
        ${ctestArgs[@]+"${ctestArgs[@]}"}
    scripts/fuzz.sh 10
    exit 0
fi

cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQV_SANITIZE=ON >/dev/null
ninja -C build-asan
# A finding ends the process with status 86, which no test expects of a program it starts.
# AddressSanitizer and LeakSanitizer reports also go to files, so that findings in child programs
# (whose output the tests read or drop) are shown and fail the run; UndefinedBehaviorSanitizer
# combined with AddressSanitizer always prints on stderr.
reports="$PWD/build-asan/sanitizer-reports"
rm -rf "$reports"
mkdir -p "$reports"
export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1:exitcode=86:log_path=$reports/asan"
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1:exitcode=86"
status=0
QT_QPA_PLATFORM=offscreen ctest --test-dir build-asan --output-on-failure -j2 \
    ${ctestArgs[@]+"${ctestArgs[@]}"} || status=$?
if compgen -G "$reports/*" >/dev/null; then
    for f in "$reports"/*; do
        echo "=== $f"
        cat "$f"
    done
    echo "Sanitizer findings: see above." >&2
    exit 1
fi
exit "$status"
