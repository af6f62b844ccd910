#!/usr/bin/env bash
# kalmira next to steghide (Debian package, installed here when missing):
# hiding and extracting the same encrypted payload in the same BMP and WAV
# carriers, best of several runs, and the ratio steghide / kalmira.
#   bench/peers.sh [path/to/kalmira] [payload bytes] [runs]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/tools/deps.sh"
kalmira_install_missing steghide

kalmira=${1:+$(realpath "$1")}
bytes=${2:-20000}
runs=${3:-5}
if [ -z "$kalmira" ]; then
  cmake -S "$root" -B "$root/build" -G Ninja >/dev/null
  cmake --build "$root/build" --target kalmira >/dev/null
  kalmira=$root/build/bin/kalmira
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

le() { # value, byte count: little-endian bytes
  local v=$1 n=$2 i out=""
  for ((i = 0; i < n; i++)); do out+=$(printf '\\x%02x' $(((v >> (8 * i)) & 255))); done
  printf "$out"
}
make_wav() { # file, data bytes: 16-bit stereo PCM, 44.1 kHz, noise
  { printf 'RIFF'; le $((36 + $2)) 4; printf 'WAVEfmt '; le 16 4; le 1 2; le 2 2
    le 44100 4; le 176400 4; le 4 2; le 16 2; printf 'data'; le "$2" 4
    head -c "$2" /dev/urandom; } > "$1"
}
convert -size 800x600 xc:gray +noise Random -type TrueColor BMP3:cover.bmp
make_wav cover.wav 1764000
head -c "$bytes" /dev/urandom > secret.bin
export KALMIRA_PASSWORD=Sesam

now() { date +%s%N; }
best() { # command...: fastest of $runs runs in microseconds
  local b="" t0 t
  for ((r = 0; r < runs; r++)); do
    t0=$(now); "$@" >/dev/null 2>&1; t=$((($(now) - t0) / 1000))
    if [ -z "$b" ] || [ "$t" -lt "$b" ]; then b=$t; fi
  done
  echo "$b"
}
k_hide() { cp "cover.$1" "k.$1"; "$kalmira" hide "k.$1" secret.bin; }
k_extract() { "$kalmira" extract "k.$1" -o k.out --force; }
s_hide() { steghide embed -cf "cover.$1" -ef secret.bin -sf "s.$1" -p Sesam -q -f; }
s_extract() { steghide extract -sf "s.$1" -xf s.out -p Sesam -q -f; }
cp_only() { cp "cover.$1" "k.$1"; }

printf '%-6s %-8s %12s %12s %8s\n' carrier step kalmira_us steghide_us ratio
for ext in bmp wav; do
  copy=$(best cp_only "$ext")
  kh=$(best k_hide "$ext"); kh=$((kh > copy ? kh - copy : 1))
  ke=$(best k_extract "$ext")
  sh=$(best s_hide "$ext")
  se=$(best s_extract "$ext")
  cmp -s k.out secret.bin || { echo "kalmira extracted something else" >&2; exit 1; }
  cmp -s s.out secret.bin || { echo "steghide extracted something else" >&2; exit 1; }
  awk -v e="$ext" -v a="$kh" -v b="$sh" 'BEGIN { printf "%-6s %-8s %12d %12d %8.1f\n", e, "hide", a, b, b / a }'
  awk -v e="$ext" -v a="$ke" -v b="$se" 'BEGIN { printf "%-6s %-8s %12d %12d %8.1f\n", e, "extract", a, b, b / a }'
done
echo "payload $bytes bytes, AES-256 in both; ratio = steghide time / kalmira time"
