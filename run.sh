#!/usr/bin/env bash
# Installs what is missing, builds, and starts KalmiraB (or the program named
# as the first argument: ./run.sh KalmiraA). Further arguments go to the program.
set -euo pipefail
cd "$(dirname "$0")"
source tools/deps.sh
kalmira_install_missing

program=KalmiraB
if [ $# -gt 0 ] && { [ "$1" = KalmiraA ] || [ "$1" = KalmiraB ] || [ "$1" = kalmira ]; }; then
  program=$1
  shift
fi

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target "$program"
exec "build/bin/$program" "$@"
