#!/usr/bin/env bash
# Builds the tests with AddressSanitizer and UndefinedBehaviorSanitizer (clang) in the sanitizer tree and
# runs them: unit tests, the allocation test, the module tests through the instrumented .vst3 and a
# short soak. Any report fails the run.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

asan_dir="$sanitizer_dir"
configure_sanitizer_tree

cmake --build "$asan_dir" -j "$jobs"

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:strict_string_checks=1:detect_stack_use_after_return=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
export LSAN_OPTIONS="suppressions=$repo_root/tests/lsan.supp:print_suppressions=0"

cd "$asan_dir"
ctest --output-on-failure -j "$jobs" --timeout 900 -E "standalone|soak_short"
"$asan_dir/tests/vorlan_soak" --audio-seconds 30
