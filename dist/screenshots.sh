#!/bin/sh
# Refreshes the AppStream screenshots in dist/screenshots from the pictures
# tools/screenshots.sh takes (Xvfb): dist/screenshots.sh [build folder]
set -e
here=$(dirname "$0")
build=${1:-build}
shots=$(mktemp -d)
trap 'rm -rf "$shots"' EXIT
sh "$here/../tools/screenshots.sh" "$build" "$shots" >/dev/null
cp "$shots/frmV_B_ready.png" "$here/screenshots/KalmiraB-verstecken.png"
cp "$shots/frmEx_KalmiraB.png" "$here/screenshots/KalmiraB-herausholen.png"
cp "$shots/frmV_A_ready.png" "$here/screenshots/KalmiraA-verstecken.png"
cp "$shots/frmEx_KalmiraA.png" "$here/screenshots/KalmiraA-lesen.png"
echo "AppStream screenshots: $here/screenshots/"
