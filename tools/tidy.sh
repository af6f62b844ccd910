#!/usr/bin/env bash
# Runs clang-tidy (.clang-tidy) over the sources of the named folders of src/
# with the compile commands of a build folder (default build/, configured by
# ./test.sh); every folder when none is named.
#   tools/tidy.sh [--build DIR] [FOLDER...]     e.g. tools/tidy.sh convert crypto
set -euo pipefail
cd "$(dirname "$0")/.."
build=build
if [ "${1:-}" = "--build" ]; then
  build=$2
  shift 2
fi
tidy=$(command -v clang-tidy-14 || command -v clang-tidy || true)
runner=$(command -v run-clang-tidy-14 || command -v run-clang-tidy || true)
if [ -z "$tidy" ] || [ -z "$runner" ]; then
  echo "tidy.sh: clang-tidy is missing (tools/deps.sh installs it with the test packages)" >&2
  exit 2
fi
[ -f "$build/compile_commands.json" ] || { echo "tidy.sh: no $build/compile_commands.json (build first)" >&2; exit 2; }
if [ $# -eq 0 ]; then
  mapfile -t folders < <(cd src && ls -d */ | tr -d /)
else
  folders=("$@")
fi
# Sources of the folders as the build compiles them (generated files left out).
pattern="$PWD/src/($(IFS='|'; echo "${folders[*]}"))/[^/]+\.cpp\$"
log=$(mktemp)
trap 'rm -f "$log"' EXIT
status=0
"$runner" -clang-tidy-binary "$tidy" -p "$build" -quiet -j "$(nproc)" "$pattern" >"$log" 2>&1 || status=$?
# The findings only, without the runner's command lines and counts.
sed 's/\x1b\[[0-9;]*m//g' "$log" | grep -E '(warning|error): ' | sort -u || true
exit $status
