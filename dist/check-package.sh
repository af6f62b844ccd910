#!/usr/bin/env bash
# Checks a built package: every file it must hold, lintian, and, where run as
# root, that it installs, hides and extracts, and leaves nothing behind when
# removed. Run as root it installs into this system: meant for CI machines.
#   dist/check-package.sh kalmira_<version>_amd64.deb
set -euo pipefail
deb=$(realpath "$1")
triplet=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
failed=0
fail() { echo "check-package: $*" >&2; failed=1; }

expected=(
  /usr/bin/kalmira /usr/bin/KalmiraA /usr/bin/KalmiraB
  "/usr/lib/$triplet/kalmira/libZorbZlib.so"
  "/usr/lib/$triplet/kalmira/libKalmiraDecode.so"
  /usr/share/applications/de.kalmira.KalmiraA.desktop
  /usr/share/applications/de.kalmira.KalmiraB.desktop
  /usr/share/metainfo/de.kalmira.KalmiraA.metainfo.xml
  /usr/share/metainfo/de.kalmira.KalmiraB.metainfo.xml
  /usr/share/icons/hicolor/scalable/apps/kalmira.svg
  /usr/share/man/man1/kalmira.1.gz /usr/share/man/man1/KalmiraA.1.gz
  /usr/share/man/man1/KalmiraB.1.gz
  /usr/share/bash-completion/completions/kalmira
  /usr/share/doc/kalmira/copyright /usr/share/doc/kalmira/changelog.gz
)
for size in 16 24 32 48 64 128 256; do
  expected+=("/usr/share/icons/hicolor/${size}x${size}/apps/kalmira.png")
done
contents=$(dpkg-deb -c "$deb" | awk '{print substr($6, 2)}')
for f in "${expected[@]}"; do
  grep -qx -- "$f" <<<"$contents" || fail "not in the package: $f"
done
echo "package contents: ${#expected[@]} files checked"

lintian --fail-on error,warning "$deb" 2> >(grep -v "root privileges" >&2) || fail "lintian"
echo "lintian: done"

if [ "$(id -u)" -ne 0 ]; then
  echo "not root: installation not tried"
  exit $failed
fi

# Installed: the programs, the desktop data and a hide/extract round trip.
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$deb" >/dev/null
[ "$(command -v kalmira)" = /usr/bin/kalmira ] || fail "kalmira is not /usr/bin/kalmira"
kalmira --version
for p in KalmiraA KalmiraB kalmira; do
  ldd "/usr/bin/$p" | grep -q "not found" && fail "$p: libraries missing"
  man -w "$p" >/dev/null || fail "no manual page for $p"
done
desktop-file-validate /usr/share/applications/de.kalmira.Kalmira[AB].desktop || fail "desktop entries"
appstreamcli validate --no-net /usr/share/metainfo/de.kalmira.Kalmira[AB].metainfo.xml >/dev/null ||
  fail "metainfo"
bash -c 'source /usr/share/bash-completion/completions/kalmira && complete -p kalmira' >/dev/null ||
  fail "bash completion"
work=$(mktemp -d)
(
  cd "$work"
  { printf 'P6\n64 48\n255\n'; head -c 9216 /dev/urandom; } >bild.ppm
  kalmira convert bild.ppm -o traeger.bmp
  echo "Treffpunkt am Brunnen" >botschaft.txt
  KALMIRA_PASSWORD=Sesam kalmira hide traeger.bmp botschaft.txt
  KALMIRA_PASSWORD=Sesam kalmira extract traeger.bmp -o heraus.txt
  cmp botschaft.txt heraus.txt
) || fail "hide and extract with the installed kalmira"
rm -rf "$work"

# Removed: none of its files or folders stay.
DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq kalmira >/dev/null
for f in "${expected[@]}" "/usr/lib/$triplet/kalmira" /usr/share/doc/kalmira; do
  [ -e "$f" ] && fail "left behind: $f"
done
dpkg -s kalmira >/dev/null 2>&1 && fail "still registered with dpkg"
echo "installed, used and removed: done"
exit $failed
