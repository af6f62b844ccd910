#!/usr/bin/env bash
# kalmira next to steghide (Debian package, installed here when missing):
# starting up (--version), hiding and extracting the same encrypted payload in
# the same BMP and WAV carriers. Runs are paired (kalmira, then steghide, in
# turn) so that a loaded machine slows both alike; the median of each and the
# ratio steghide / kalmira are shown. Targets: --version within 1.5 times
# steghide's (ratio >= 0.67), a 20 KB hide into a BMP at least 12 times faster.
#   bench/peers.sh [path/to/kalmira] [payload bytes] [runs]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/tools/deps.sh"
kalmira_install_missing "${KALMIRA_BENCH_PACKAGES[@]}"

kalmira=${1:+$(realpath "$1")}
bytes=${2:-20000}
runs=${3:-15}
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

# took command...: "wall_us cpu_us" of one run (cpu: user + system of the
# command and its children, in milliseconds' resolution).
took() {
  local TIMEFORMAT='%3R %3U %3S' t
  t=$({ time "$@" >/dev/null 2>&1; } 2>&1)
  awk -v t="$t" 'BEGIN { split(t, a, " "); printf "%d %d\n", a[1] * 1e6, (a[2] + a[3]) * 1e6 }'
}
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
# paired KALMIRA_FUNCTION STEGHIDE_FUNCTION [K_PREPARE S_PREPARE]: medians of
# $runs pairs, "kalmira_wall steghide_wall kalmira_cpu steghide_cpu" in
# microseconds; each PREPARE runs untimed before its timed command.
paired() {
  local kw=() sw=() kc=() sc=() r t
  for ((r = 0; r < runs; r++)); do
    [ -n "${3:-}" ] && $3
    t=($(took "$1")); kw+=("${t[0]}"); kc+=("${t[1]}")
    [ -n "${4:-}" ] && $4
    t=($(took "$2")); sw+=("${t[0]}"); sc+=("${t[1]}")
  done
  for v in kw sw kc sc; do
    local -n list=$v
    printf '%s ' "$(printf '%s\n' "${list[@]}" | median)"
  done
}
row() { # carrier step kalmira_wall steghide_wall kalmira_cpu steghide_cpu
  awk -v e="$1" -v st="$2" -v a="$3" -v b="$4" -v c="$5" -v d="$6" 'BEGIN {
    printf "%-6s %-8s %10d %10d %7.2f %10d %10d %7.2f\n", e, st, a, b, b / a, c, d, (c > 0 ? d / c : 0) }'
}

k_version() { "$kalmira" --version; }
s_version() { steghide --version; }
ext=
k_fresh() { cp "cover.$ext" "k.$ext"; }
s_fresh() { rm -f "s.$ext"; }
# An extraction that fails must not pass for one by an older output.
k_clear() { rm -f k.out; }
s_clear() { rm -f s.out; }
k_hide() { "$kalmira" hide "k.$ext" secret.bin; }
k_extract() { "$kalmira" extract "k.$ext" -o k.out --force; }
s_hide() { steghide embed -cf "cover.$ext" -ef secret.bin -sf "s.$ext" -p Sesam -q -f; }
s_extract() { steghide extract -sf "s.$ext" -xf s.out -p Sesam -q -f; }

printf '%-6s %-8s %10s %10s %7s %10s %10s %7s\n' carrier step kalmira_us steghide_us ratio \
  k_cpu_us s_cpu_us ratio
row - version $(paired k_version s_version)
for ext in bmp wav; do
  row "$ext" hide $(paired k_hide s_hide k_fresh s_fresh)
  row "$ext" extract $(paired k_extract s_extract k_clear s_clear)
  cmp -s k.out secret.bin || { echo "kalmira extracted something else" >&2; exit 1; }
  cmp -s s.out secret.bin || { echo "steghide extracted something else" >&2; exit 1; }
done
echo "payload $bytes bytes, AES-256 in both; medians of $runs paired runs; ratio = steghide / kalmira,"
echo "by wall-clock time and by processor time (user + system; 0 below a millisecond)"
