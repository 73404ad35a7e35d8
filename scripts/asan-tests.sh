#!/usr/bin/env bash
# Builds the tests with AddressSanitizer and UndefinedBehaviorSanitizer (clang) in the sanitizer tree and
# runs them: unit tests, the allocation test, the module tests through the instrumented .vst3 and a
# short soak. Any report fails the run.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
configure asan
build asan
run_tests asan

# The soak on its own, with the same sanitizer settings as the test preset.
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:strict_string_checks=1:detect_stack_use_after_return=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
export LSAN_OPTIONS="suppressions=$repo_root/tests/support/lsan.supp:print_suppressions=0"
"$sanitizer_dir/tests/unit/vorlan_soak" --audio-seconds 30
