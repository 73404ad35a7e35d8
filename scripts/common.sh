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
