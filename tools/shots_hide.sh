#!/bin/sh
# Pictures of the hide windows of both programs: tools/shots_hide.sh [build] [out]
set -e
build=${1:-build}
out=${2:-$build/screenshots}
mkdir -p "$out"
cmake --build "$build" --target frmV_shots >/dev/null
xvfb-run -a -s "-screen 0 1280x1024x24" "$build/bin/frmV_shots" "$out"
echo "hide windows: $out/frmV_*.png"
