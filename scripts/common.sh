# Shared by the scripts: the repository root and the build trees of CMakePresets.json.
repo_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build_dir="$repo_root/build"           # preset "release"
sanitizer_dir="$repo_root/build-asan"  # preset "asan": ASan + UBSan, and the fuzzer
tsan_dir="$repo_root/build-tsan"       # preset "tsan"

# configure|build|run_tests PRESET [arguments...]: the preset of that name, run from the repository root.
configure() { (cd "$repo_root" && cmake --preset "$@" >/dev/null); }
build()     { (cd "$repo_root" && cmake --build --preset "$@"); }
run_tests() { (cd "$repo_root" && ctest --preset "$@"); }
