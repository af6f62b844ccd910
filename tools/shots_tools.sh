#!/bin/sh
# Pictures of the start, info, converter, shredder, inspection and password
# windows: tools/shots_tools.sh [build] [out]
set -e
build=${1:-build}
out=${2:-$build/screenshots}
mkdir -p "$out"
cmake --build "$build" --target tool_windows_shots >/dev/null
XDG_RUNTIME_DIR="$(mktemp -d)" xvfb-run -a -s "-screen 0 1366x768x24" "$build/bin/tool_windows_shots" "$out"
echo "tool windows: $out/frm*.png (frmFlacInfo among them), $out/Form1.png"
