#!/usr/bin/env bash
# Screenshots of the extract windows of both programs, taken under Xvfb after
# a run, into build/shots/ (or the folder given as the first argument).
set -euo pipefail
cd "$(dirname "$0")/.."
out="${1:-build/shots}"
mkdir -p "$out"
cmake -S . -B build -G Ninja >/dev/null
cmake --build build --target frmEx_test >/dev/null
KALMIRA_SHOTS_DIR="$(realpath "$out")" QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$(mktemp -d)" \
  xvfb-run -a -s "-screen 0 1280x1024x24" build/bin/frmEx_test screenshots
ls "$out"/frmEx_*.png
