#!/usr/bin/env bash
# Fails when clang-format, with the .clang-format at the root, would change any of the
# program's or the tests' sources, and lists them. `clang-format -i FILE` puts one right.
set -euo pipefail
cd "$(dirname "$0")/.."

if ! command -v clang-format >/dev/null; then
  echo "check-format: clang-format is not installed (scripts/setup.sh installs it)" >&2
  exit 1
fi

offenders=()
while IFS= read -r -d '' file; do
  clang-format --dry-run -Werror "$file" >/dev/null 2>&1 || offenders+=("$file")
done < <(find app bench controls examples framework manifest res tests -type f \( -name '*.cpp' -o -name '*.h' \) -print0 | sort -z)

if [ ${#offenders[@]} -gt 0 ]; then
  echo "check-format: clang-format would change these files:" >&2
  printf '  %s\n' "${offenders[@]}" >&2
  exit 1
fi
