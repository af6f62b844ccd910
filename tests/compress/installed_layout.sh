#!/bin/sh
# Installed to any prefix, and moved from there, the tool finds the compression
# library in its private library folder: installed_layout.sh BUILD CMAKE
set -eu
build=$1
cmake=${2:-cmake}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$cmake" --install "$build" --prefix "$work/prefix" >/dev/null
test ! -e "$work/prefix/bin/libZorbZlib.so"
mv "$work/prefix" "$work/moved"
kalmira=$work/moved/bin/kalmira
cd "$work"
{ printf 'P6\n64 48\n255\n'; head -c 9216 /dev/urandom; } >bild.ppm
"$kalmira" convert bild.ppm -o traeger.bmp >/dev/null
echo "Treffpunkt am Brunnen" >botschaft.txt
KALMIRA_PASSWORD=Sesam "$kalmira" hide traeger.bmp botschaft.txt >/dev/null
KALMIRA_PASSWORD=Sesam "$kalmira" extract traeger.bmp -o heraus.txt >/dev/null
cmp botschaft.txt heraus.txt
