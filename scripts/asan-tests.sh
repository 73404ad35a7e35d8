#!/usr/bin/env bash
# Builds the tests with AddressSanitizer and UndefinedBehaviorSanitizer (clang) in their own tree and
# runs them: unit tests, the allocation test, the module tests through the instrumented .vst3 and a
# short soak. Any report fails the run.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

asan_dir="${VORLAN_ASAN_BUILD_DIR:-$repo_root/build-asan}"
launcher=()
command -v ccache >/dev/null 2>&1 && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)

cmake -S "$repo_root" -B "$asan_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 "${launcher[@]}" \
    -DVORLAN_SANITIZE=address -DVORLAN_BUILD_BENCHMARKS=OFF >/dev/null

targets=(vorlan_tests vorlan_realtime_tests vorlan_soak)
if grep -q "vorlan_module_tests" "$repo_root/tests/CMakeLists.txt"; then
    targets+=(Vorlan_VST3 vorlan_module_tests)
fi
cmake --build "$asan_dir" -j "$jobs" --target "${targets[@]}"

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:strict_string_checks=1:detect_stack_use_after_return=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
export LSAN_OPTIONS="suppressions=$repo_root/tests/lsan.supp:print_suppressions=0"

cd "$asan_dir"
ctest --output-on-failure -j "$jobs" --timeout 900 -E "standalone|soak_short"
"$asan_dir/tests/vorlan_soak" --audio-seconds 30
