#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite.
# --sanitize: builds with AddressSanitizer, LeakSanitizer and UndefinedBehaviorSanitizer into
# ./build-asan and runs the suite there; a finding fails the run. Any other argument goes to
# ctest. The plain run ends with a short run of every fuzz target (scripts/fuzz.sh, 10 s each).
# With CI=true every test must run: QV_REQUIRE_ALL=1 turns a skip for a missing chromium, Xvfb,
# xdotool or web engine into a failure, and each test program also runs whole, as one process.
set -euo pipefail
cd "$(dirname "$0")/.."
# Compiler cache entries name paths relative to the checkout, so another clone reuses them.
export CCACHE_BASEDIR="$PWD"
if [[ "${CI:-}" == "true" ]]; then
    export QV_REQUIRE_ALL=1
fi
# Each test program of the build folder $1 run whole; the names of those that failed.
run_whole() {
    local failed=()
    for program in "$1"/tests/test_*; do
        [[ -x "$program" && -f "$program" ]] || continue
        echo "=== $program (whole)"
        QT_QPA_PLATFORM=offscreen "$program" --gtest_brief=1 || failed+=("$(basename "$program")")
    done
    if ((${#failed[@]})); then
        echo "Failed when run whole: ${failed[*]}" >&2
        return 1
    fi
}
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
    if [[ "${CI:-}" == "true" ]]; then
        run_whole build
    fi
    scripts/fuzz.sh 10
    exit 0
fi

# The plain run has shown that every test runs here; the sanitizer build may skip what cannot run
# under it (a browser or the web engine inside the sanitizers).
unset QV_REQUIRE_ALL
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
