#!/usr/bin/env bash
# Builds the concurrency test with ThreadSanitizer in its own tree and runs it: one thread renders
# while another changes programs and saves and restores states. Any race not listed in
# tests/support/tsan.supp fails the run.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
configure tsan
build tsan
run_tests tsan
