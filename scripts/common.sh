# Shared by the scripts: the repository root, the Release build tree and its configuration.
repo_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build_dir="${VORLAN_BUILD_DIR:-$repo_root/build}"
jobs="${VORLAN_JOBS:-2}"

configure_release() {
    local launcher=()
    if command -v ccache >/dev/null 2>&1; then
        launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
    fi
    cmake -S "$repo_root" -B "$build_dir" -DCMAKE_BUILD_TYPE=Release "${launcher[@]}" "$@" >/dev/null
}

# One clang tree serves the AddressSanitizer + UndefinedBehaviorSanitizer tests and the fuzzer:
# everything is instrumented for libFuzzer's coverage too, which costs the tests nothing.
sanitizer_dir="${VORLAN_SANITIZER_BUILD_DIR:-$repo_root/build-asan}"

configure_sanitizer_tree() {
    local launcher=()
    if command -v ccache >/dev/null 2>&1; then
        launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
    fi
    CC=clang-14 CXX=clang++-14 cmake -S "$repo_root" -B "$sanitizer_dir" -DCMAKE_BUILD_TYPE=Release "${launcher[@]}" \
        -DVORLAN_SANITIZE=address -DVORLAN_BUILD_FUZZERS=ON -DVORLAN_BUILD_BENCHMARKS=OFF \
        -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link -DCMAKE_C_FLAGS=-fsanitize=fuzzer-no-link >/dev/null
}
