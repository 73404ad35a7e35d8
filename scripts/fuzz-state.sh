#!/usr/bin/env bash
# Builds the state-restore fuzz target (clang-14, libFuzzer with ASan and UBSan) in the sanitizer tree and
# runs it on a scratch copy of fuzz/corpus, bounded by a number of runs or a time:
#   scripts/fuzz-state.sh            # 60000 runs (about a minute), at most 120 s, fixed seed as in CI
#   scripts/fuzz-state.sh 2000000    # that many runs, no time limit, a new seed each time
#   scripts/fuzz-state.sh 3600s      # one hour, a new seed each time
# CI's run is seeded so that a submission passes or fails on its own code, not on the draw; the
# longer runs look further and a finding from them becomes a seed in fuzz/corpus.
# A crash or broken invariant leaves its input as crash-* in the scratch folder and fails the run.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

bound="${1:-60000}"
seed=()
[ $# -eq 0 ] && seed=(-seed=20261210)

configure asan
build fuzz

if [[ "$bound" == *s ]]; then
    limits=(-max_total_time="${bound%s}")
else
    limits=(-runs="$bound" -max_total_time=120)
fi

work="$(mktemp -d)"
trap 'rm -rf "$work/corpus"' EXIT
cp -r "$repo_root/fuzz/corpus" "$work/corpus"
echo "fuzzing in $work"

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"

cd "$work"
status=0
"$sanitizer_dir/fuzz/vorlan_fuzz_state" "${limits[@]}" "${seed[@]}" -max_len=8192 -timeout=10 -print_final_stats=1 \
    -dict="$repo_root/fuzz/state.dict" "$work/corpus" >"$work/fuzz.log" 2>&1 || status=$?

grep -E "^(Done|stat::number_of_executed_units|stat::average_exec_per_sec|stat::new_units_added)|ERROR|state invariant|SUMMARY" "$work/fuzz.log" || true
if [[ $status -ne 0 ]]; then
    echo "fuzzer failed (status $status); log and inputs kept in $work" >&2
    tail -60 "$work/fuzz.log" >&2
    exit "$status"
fi
rm -rf "$work"
