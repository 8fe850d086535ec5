#!/usr/bin/env bash
# The reliability gates CI runs after the ordinary build and tests:
#   1. the whole project again with AddressSanitizer and UndefinedBehaviorSanitizer, and the
#      whole suite in that build; any report (also from a child process) fails;
#   2. every libFuzzer target in fuzz/ for KN_FUZZ_SECONDS (default 60) on one core.
# Each stage prints its wall time. Usage: scripts/ci-gates.sh [asan|fuzz]... (default both)
set -euo pipefail
source "$(dirname "$0")/setup.sh"
cd "$KN_ROOT"
export CMAKE_CXX_COMPILER_LAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER:-$(command -v ccache || true)}
stages=("$@")
[ ${#stages[@]} -gt 0 ] || stages=(asan fuzz)

stage_time() { echo "== stage $1: $(( $(date +%s) - $2 )) s"; }

run_asan() {
    local t0 build=$KN_ROOT/build-asan reports
    t0=$(date +%s)
    local san="-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
    if [ ! -f "$build/build.ninja" ]; then
        cmake -S "$KN_ROOT" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
            -DCMAKE_CXX_FLAGS="$san" -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" \
            >/dev/null
    fi
    cmake --build "$build" -- -j"$(nproc)"
    reports=$(mktemp -d)
    # Reports go to files too, so that one from a child process (the station, the emulator)
    # cannot pass unseen. Suppressions cover leaks inside system libraries only.
    export ASAN_OPTIONS="log_path=$reports/asan:detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1"
    export UBSAN_OPTIONS="log_path=$reports/ubsan:print_stacktrace=1:halt_on_error=1"
    export LSAN_OPTIONS="suppressions=$KN_ROOT/scripts/lsan-system.supp:print_suppressions=0"
    local status=0 out
    out=$(mktemp)
    (cd "$build" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure --timeout 600) 2>&1 |
        tee "$out" || status=1
    # UBSan reports of a combined runtime go to stderr, whichever process made them.
    grep -q -E 'runtime error:|ERROR: (Address|Leak)Sanitizer' "$out" && status=1
    rm -f "$out"
    if compgen -G "$reports/*" >/dev/null; then
        echo "Sanitizer reports:"
        cat "$reports"/*
        status=1
    fi
    rm -rf "$reports"
    stage_time asan "$t0"
    return $status
}

run_fuzz() {
    local t0 build=$KN_ROOT/build-fuzz seconds=${KN_FUZZ_SECONDS:-60} status=0 work
    t0=$(date +%s)
    kn_install_missing clang libclang-rt-14-dev
    if [ ! -f "$build/build.ninja" ]; then
        cmake -S "$KN_ROOT" -B "$build" -G Ninja -DKN_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++ \
            >/dev/null
    fi
    cmake --build "$build" -- -j"$(nproc)"
    work=$(mktemp -d)
    for target in "$build"/fuzz/fuzz_*; do
        local name=${target##*/fuzz_}
        mkdir -p "$work/$name"
        echo "-- fuzz $name for ${seconds} s"
        # New inputs go to a scratch folder; the seeds in git stay as they are.
        if ! (cd "$work" && "$target" -max_total_time="$seconds" -max_len=4096 -timeout=10 \
                -rss_limit_mb=2048 -print_final_stats=1 "$work/$name" \
                "$KN_ROOT/fuzz/corpus/$name" 2>"$work/$name.log"); then
            status=1
            tail -n 60 "$work/$name.log"
        fi
        grep -E '^#[0-9]+.*(DONE|pulse)' "$work/$name.log" | tail -n 1 || true
        grep -E 'stat::(number_of_executed_units|average_exec_per_sec)' "$work/$name.log" || true
    done
    rm -rf "$work"
    stage_time fuzz "$t0"
    return $status
}

result=0
for s in "${stages[@]}"; do
    "run_$s" || result=1
done
exit $result
