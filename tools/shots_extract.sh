#!/bin/sh
# Pictures of the extract windows of both programs, taken after a run:
#   tools/shots_extract.sh [build] [out]
set -e
build=${1:-build}
out=${2:-$build/screenshots}
mkdir -p "$out"
cmake --build "$build" --target frmEx_shots >/dev/null
xvfb-run -a -s "-screen 0 1280x1024x24" "$build/bin/frmEx_shots" "$out"
echo "extract windows: $out/frmEx_*.png"
