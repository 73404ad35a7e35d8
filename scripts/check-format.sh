#!/usr/bin/env bash
# Fails when a C++ source in the repository differs from what .clang-format makes of it, and names it.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
cd "$repo_root"

unformatted=()

while IFS= read -r file; do
    clang-format --dry-run --Werror "$file" >/dev/null 2>&1 || unformatted+=("$file")
done < <(git ls-files '*.cpp' '*.h')

if [ "${#unformatted[@]}" -gt 0 ]; then
    echo "not formatted as .clang-format says (run clang-format -i on them):" >&2
    printf '  %s\n' "${unformatted[@]}" >&2
    exit 1
fi

echo "format: $(git ls-files '*.cpp' '*.h' | wc -l) sources as .clang-format says"
