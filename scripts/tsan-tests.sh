#!/usr/bin/env bash
# Builds the concurrency test with ThreadSanitizer in its own tree and runs it: one thread renders
# while another changes programs and saves and restores states. Any unsuppressed race fails the run;
# framework races the design accepts would be listed in tests/tsan.supp (none are needed so far).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

tsan_dir="${VORLAN_TSAN_BUILD_DIR:-$repo_root/build-tsan}"
launcher=()
command -v ccache >/dev/null 2>&1 && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)

cmake -S "$repo_root" -B "$tsan_dir" -DCMAKE_BUILD_TYPE=Release "${launcher[@]}" \
    -DVORLAN_SANITIZE=thread -DVORLAN_BUILD_TOOLS=OFF -DVORLAN_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build "$tsan_dir" -j "$jobs" --target vorlan_concurrency_tests

export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1"
if [[ -f "$repo_root/tests/tsan.supp" ]]; then
    TSAN_OPTIONS+=":suppressions=$repo_root/tests/tsan.supp"
fi
"$tsan_dir/tests/vorlan_concurrency_tests"
