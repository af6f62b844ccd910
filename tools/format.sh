#!/usr/bin/env bash
# Formats the C++ sources with .clang-format, or checks that they are.
#   tools/format.sh           rewrites every file that differs
#   tools/format.sh --check   lists the files that differ, fails when there are any
set -euo pipefail
cd "$(dirname "$0")/.."
format=$(command -v clang-format-14 || command -v clang-format || true)
if [ -z "$format" ]; then
  echo "format.sh: clang-format is missing (tools/deps.sh installs it with the test packages)" >&2
  exit 2
fi
mapfile -t files < <(git ls-files '*.cpp' '*.h')
if [ "${1:-}" = "--check" ]; then
  bad=0
  for f in "${files[@]}"; do
    if ! "$format" --style=file "$f" | cmp -s - "$f"; then
      echo "not formatted: $f"
      bad=1
    fi
  done
  exit $bad
fi
"$format" --style=file -i "${files[@]}"
