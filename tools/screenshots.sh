#!/bin/sh
# Pictures of the windows for layout review (Xvfb): runs every tools/shots_*.sh.
#   tools/screenshots.sh [build folder] [output folder]
set -e
here=$(dirname "$0")
build=${1:-build}
out=${2:-$build/screenshots}
for part in "$here"/shots_*.sh; do
    [ -e "$part" ] || continue
    sh "$part" "$build" "$out"
done
