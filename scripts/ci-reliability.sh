#!/usr/bin/env bash
# Reliability checks beyond the plain test run, each in a build tree of its own:
#   asan  the whole test suite built with AddressSanitizer + UBSan (gcc)
#   tsan  the ranking tests (fetcher, scans, result services, history, progress, run, window,
#         command line) built with ThreadSanitizer (gcc)
#   fuzz  every reader of outside input fuzzed with libFuzzer for FUZZ_SECONDS each (clang)
# Usage: scripts/ci-reliability.sh [fuzz] [tsan] [asan]     (no argument: all three)
# Environment: JOBS (parallel builds, default all cores), FUZZ_SECONDS (default 30).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

JOBS=${JOBS:-$(nproc)}
FUZZ_SECONDS=${FUZZ_SECONDS:-30}
STEPS=("$@")
[ ${#STEPS[@]} -eq 0 ] && STEPS=(fuzz tsan asan)

export CCACHE_BASEDIR="$PWD"
export QT_QPA_PLATFORM=offscreen
# -O1 keeps the instrumented tests quick; -g keeps the reports readable.
COMMON=(-G Ninja -DCMAKE_BUILD_TYPE=Debug "-DCMAKE_CXX_FLAGS_DEBUG=-g -O1")
SUPP="$PWD/scripts/sanitizers"
# The first fault ends the test and fails it; leaks count as faults.
export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
export LSAN_OPTIONS="suppressions=$SUPP/lsan.supp:print_suppressions=0"
# Qt comes uninstrumented from Debian: its locks are futexes the checker cannot see, so calls
# made from inside Qt are left out (our own code is still checked in full). The ranking tests
# start programs with QProcess while their simulator threads run; the child only calls exec,
# which the checker's fork rule does not allow for.
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:ignore_noninstrumented_modules=1:die_after_fork=0:suppressions=$SUPP/tsan.supp"

stamp() { printf '\n=== %s  %s\n' "$(date -u +%H:%M:%S)" "$*"; }

# Tests whose executables concern the ranking: the only ones worth the slow TSan build.
RANKING_TESTS='fetcher|ranksearch|rankprogressdlg|rankrun|rankwindow|rankcli|sources|history'

# Builds, in tree $1, the test executables whose names match $2 (all when empty) and the
# programs tests start; benchmarks and the window program are left out. Runs those tests.
build_and_test() {
    local tree=$1 regex=$2 tests targets=() all
    mapfile -t tests < <(ctest --test-dir "$tree" -N ${regex:+-R "$regex"} |
                         sed -n 's/^ *Test *#[0-9]*: *\([^ ]*\).*/\1/p')
    [ ${#tests[@]} -gt 0 ] || { echo "no tests found in $tree"; return 1; }
    all=$(ninja -C "$tree" -t targets all)
    # Tests run by a script of their own (no executable of that name) need nothing built.
    for t in "${tests[@]}" tallowick-rank tallowick-engines; do
        if grep -q "^$t:" <<<"$all"; then targets+=("$t"); fi
    done
    cmake --build "$tree" --parallel "$JOBS" --target "${targets[@]}"
    stamp "$tree: ${tests[*]}"
    ctest --test-dir "$tree" --output-on-failure --parallel "$JOBS" ${regex:+-R "$regex"}
}

step_asan() {
    stamp "ASan + UBSan: the whole test suite"
    cmake -S . -B build-asan "${COMMON[@]}" -DTALLOWICK_ASAN=ON >/dev/null
    build_and_test build-asan ""
}

step_tsan() {
    stamp "TSan: the ranking tests"
    cmake -S . -B build-tsan "${COMMON[@]}" -DTALLOWICK_TSAN=ON >/dev/null
    build_and_test build-tsan "$RANKING_TESTS"
}

step_fuzz() {
    stamp "Fuzzing: build"
    cmake -S . -B build-fuzz "${COMMON[@]}" -DCMAKE_CXX_COMPILER=clang++ -DTALLOWICK_FUZZ=ON \
        -DTALLOWICK_BUILD_TESTS=OFF >/dev/null
    cmake --build build-fuzz --parallel "$JOBS" --target fuzzers
    local failed=0 summary=()
    for name in scan lines upgrade settings datafile sources csv; do
        local exe="build-fuzz/tests/fuzz/fuzz_$name"
        local seeds="tests/fuzz/$name" work="build-fuzz/corpus/$name" log="build-fuzz/fuzz-$name.log"
        mkdir -p "$work" "build-fuzz/crashes/$name"
        stamp "Fuzzing $name for ${FUZZ_SECONDS}s"
        # New inputs go to the work corpus, never into the repository's seeds. A crash, an input
        # taking over a second, a leak or more than 2 GB of memory ends the run with an error.
        if "$exe" "$work" "$seeds" -max_total_time="$FUZZ_SECONDS" -timeout=1 \
            -rss_limit_mb=2048 -print_final_stats=1 \
            -artifact_prefix="build-fuzz/crashes/$name/" >"$log" 2>&1; then
            :
        else
            failed=1
            tail -n 60 "$log"
            echo "fuzz_$name FAILED; the input is in build-fuzz/crashes/$name/"
        fi
        local runs corpus
        runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
        corpus=$(find "$work" -type f | wc -l)
        summary+=("$(printf '%-10s %10s executions  %6s inputs in corpus' "$name" "${runs:-?}" "$corpus")")
    done
    stamp "Fuzzing summary"
    printf '%s\n' "${summary[@]}"
    return $failed
}

for s in "${STEPS[@]}"; do
    case $s in
    asan | tsan | fuzz) "step_$s" ;;
    *) echo "unknown step: $s (asan, tsan, fuzz)" >&2; exit 2 ;;
    esac
done
stamp "reliability checks passed"
