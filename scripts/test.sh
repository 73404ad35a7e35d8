#!/usr/bin/env bash
# Sets up the machine, checks the sources' layout against .clang-format, builds everything in one
# Release tree and runs every test suite: the unit and module tests (CTest), a bounded fuzz run of
# state restore, the concurrency tests under ThreadSanitizer and the tests again under
# AddressSanitizer with UndefinedBehaviorSanitizer. Exits non-zero on the first failing stage.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

"$repo_root/scripts/setup-debian.sh"

echo "== source layout"
"$repo_root/scripts/check-format.sh"

configure release
build release

summary_file="$(mktemp)"
trap 'rm -f "$summary_file"' EXIT

echo "== unit, module and app tests"
set +e
run_tests release | tee "$summary_file"
status=${PIPESTATUS[0]}
set -e
[ "$status" -eq 0 ] || exit "$status"
main_summary="$(grep -E 'tests passed|tests failed' "$summary_file" | tail -n 1)"

echo "== bounded fuzz run of state restore"
"$repo_root/scripts/fuzz-state.sh"

echo "== concurrency tests under ThreadSanitizer"
"$repo_root/scripts/tsan-tests.sh"

echo "== tests under AddressSanitizer and UndefinedBehaviorSanitizer"
"$repo_root/scripts/asan-tests.sh"

echo
echo "All stages passed. CTest summary of the Release tree:"
echo "$main_summary"
