#!/usr/bin/env bash
# Builds the tests with AddressSanitizer and UndefinedBehaviorSanitizer (clang) in the sanitizer tree and
# runs them: unit tests, the allocation test, the module tests through the instrumented .vst3 and .lv2,
# and a short soak. Any report fails the run.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

configure asan
build asan
run_tests asan
