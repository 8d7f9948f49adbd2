#!/bin/bash
# Fails, naming every file, when a tracked C++ file is not as the repository's
# .clang-format would write it. Run from anywhere; the optional argument is
# the repository to check (the default is this one).
set -uo pipefail
ROOT="${1:-$(cd "$(dirname "$0")/../.." && pwd)}"
cd "$ROOT" || exit 2
command -v clang-format >/dev/null || { echo "clang-format is not installed"; exit 2; }
[ -f .clang-format ] || { echo "no .clang-format in $ROOT"; exit 2; }

mapfile -t files < <(git ls-files -- '*.cpp' '*.cc' '*.c' '*.h' '*.hpp')
unformatted=()
for file in "${files[@]}"; do
  [ -f "$file" ] || continue  # deleted in the working tree, not yet in the index
  if ! clang-format --style=file --dry-run -Werror "$file" >/dev/null 2>&1; then
    unformatted+=("$file")
  fi
done

if [ "${#unformatted[@]}" -gt 0 ]; then
  echo "not formatted with .clang-format (fix with: clang-format -i FILE...):"
  printf '  %s\n' "${unformatted[@]}"
  exit 1
fi
echo "${#files[@]} C++ files formatted"
