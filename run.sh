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

flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
command -v ccache >/dev/null && flags+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
cmake -S . -B build -G Ninja "${flags[@]}" >/dev/null
cmake --build build --target "$program" >&2
exec "build/bin/$program" "$@"
