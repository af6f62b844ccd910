#!/usr/bin/env bash
# Installs what is missing, builds, and starts KalmiraB (or the program named
# as the first argument: ./run.sh KalmiraA). Further arguments go to the program.
# Everything but the program's own output goes to standard error.
set -euo pipefail
cd "$(dirname "$0")"
source tools/deps.sh
kalmira_install_missing

program=KalmiraB
if [ $# -gt 0 ] && { [ "$1" = KalmiraA ] || [ "$1" = KalmiraB ] || [ "$1" = kalmira ]; }; then
  program=$1
  shift
fi

kalmira_build_flags # the flags ./test.sh and ./package.sh build with: one build for all
cmake -S . -B build -G Ninja "${KALMIRA_BUILD_FLAGS[@]}" >/dev/null
cmake --build build --target "$program" >&2
exec "build/bin/$program" "$@"
