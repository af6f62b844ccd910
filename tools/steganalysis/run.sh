#!/usr/bin/env bash
# Runs the steganalysis of the stealth format (docs/steganalysis.md).
#   tools/steganalysis/run.sh [--quick] [--real] [--png] [--only PARTS] [--crops N]
#   --quick     one payload (0.1 bpc), version 1 and pixel costs, 4 splits: minutes
#   --real      also measure carriers written by the program itself
#               (kalmira hide --stealth into copies of the crops and of the
#               16- and 24-bit sound segments)
#   --png       also the crops as PNG covers: converted to PNG, hidden into
#               by the program, converted back to 24-bit BMP for the features
#   --only P,Q  only these parts: simulation, real-pictures, real-sounds, png
#   --crops N   the picture parts that run the program use about N crops,
#               spread over the photos (a quick check of the script)
# The program is $KALMIRA_BIN (default build/bin/kalmira, built there if
# missing). Builds the tool in $KALMIRA_ANALYSIS_DIR (default build-analysis),
# makes the data set on first use (dataset.sh) and appends every table to
# results.txt.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
work="${KALMIRA_ANALYSIS_DIR:-$root/build-analysis}"
usage() { echo "usage: $0 [--quick] [--real] [--png] [--only PARTS] [--crops N]" >&2; exit 2; }
quick=0 parts=simulation crops=0
while [ $# -gt 0 ]; do
  case $1 in
    --quick) quick=1 ;;
    --real) parts="$parts,real-pictures,real-sounds" ;;
    --png) parts="$parts,png" ;;
    --only) [ $# -ge 2 ] || usage; parts=$2; shift ;;
    --crops) [ $# -ge 2 ] || usage; crops=$2; shift ;;
    *) usage ;;
  esac
  shift
done
has() { [[ ",$parts," == *",$1,"* ]]; }

cmake -S "$root/tools/steganalysis" -B "$work" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$work" -j "$(nproc)" >/dev/null
data="$work/data"
[ -f "$data/report.list" ] || "$root/tools/steganalysis/dataset.sh" "$data"
tool="$work/kalmira-analysis"
feat="$work/features"
results="$work/results.txt"
mkdir -p "$feat"

splits=10 payloads=0.05,0.1,0.2 schemes=v1,uniform,costs-channels,costs-pixels salts="256 1024 4096"
[ $quick = 1 ] && splits=4 payloads=0.1 schemes=v1,costs-pixels salts=1024
say() { echo "== $*" | tee -a "$results"; }
evaluate() { "$tool" evaluate "$@" --splits "$splits" | tee -a "$results"; }
stego_files() {  # stego_files PREFIX SCHEMES: the feature files in table order
  local s p
  for s in ${2//,/ }; do for p in ${payloads//,/ }; do echo "$feat/$1$s-$p.feat"; done; done
}

if has simulation; then
  say "$(date -u +%F\ %T) pictures: $(wc -l <"$data/report.list") crops, P_E over $splits photo splits"
  "$tool" pictures "$data/report.list" "$feat" --schemes "cover,$schemes" --payloads "$payloads"
  evaluate "$feat/cover.feat" $(stego_files "" "$schemes")

  say "salt region: 128 bits in the first N pixels (file order), targeted statistics only"
  for n in $salts; do
    "$tool" pictures "$data/report.list" "$feat" --schemes cover,costs-pixels --payloads "$payloads" \
      --salt-pixels "$n" --tag "salt$n-"
    evaluate "$feat/salt$n-cover.feat" $(stego_files "salt$n-" costs-pixels) --no-ensemble
  done

  say "sounds: $(wc -l <"$data/s16.list") segments, 16-bit and 24-bit from 16-bit; v1 vs costs"
  for depth in s16 s24; do  # salt region: version 1's 128 samples; 1024 for the costs
    "$tool" sounds "$data/$depth.list" "$feat" --schemes cover,v1 --payloads "$payloads" --tag "$depth-"
    evaluate "$feat/$depth-cover.feat" $(stego_files "$depth-" v1)
    "$tool" sounds "$data/$depth.list" "$feat" --schemes cover,costs-channels --payloads "$payloads" \
      --salt-samples 1024 --tag "$depth-salt1024-"
    evaluate "$feat/$depth-salt1024-cover.feat" $(stego_files "$depth-salt1024-" costs-channels)
  done

  say "JPEG origin (rule: both grid ratios >= 1.15)"
  for l in report-native report-resized art; do
    echo "$l: $("$tool" jpeg "$data/$l.list" | tail -1)" | tee -a "$results"
  done
fi

has real-pictures || has real-sounds || has png || exit 0

# --- Carriers written by the program -------------------------------------
kalmira="${KALMIRA_BIN:-$root/build/bin/kalmira}"
[ -x "$kalmira" ] || cmake --build "$root/build" --target kalmira >/dev/null
pw="$work/analysis-password"
echo "Analyse123" >"$pw"  # a fixed password: these carriers hold random bytes only
log="$work/hide.log"      # what each hide got, and the program's warnings
echo "== $(date -u +%F\ %T) $parts" >>"$log"
payload="$(mktemp -d "$work/payload.XXXXXX")"
trap 'rm -rf "$payload"' EXIT

# hide CARRIER BPC VALUES: random data of BPC bits per value (name and data,
# as capacity counts), or the carrier's largest payload where that is less.
hide() {
  local carrier=$1 largest bytes
  largest=$("$kalmira" capacity "$carrier" --stealth 2>>"$log" | head -1)
  bytes=$(awk -v p="$2" -v n="$3" -v max="$largest" 'BEGIN { b = int(p * n / 8); print (b > max ? max : b) }')
  [ "$bytes" -ge 2 ] || { echo "$carrier: no room ($largest bytes)" >&2; return 1; }
  head -c "$((bytes - 1))" /dev/urandom >"$payload/p"  # the stored name "p" is the first byte
  echo "$carrier at $2 bpc: $bytes bytes (largest $largest)" >>"$log"
  "$kalmira" hide "$carrier" "$payload/p" --stealth --password-file "$pw" >/dev/null 2>>"$log"
}

# hide_copies LIST DIR BPC: copies of LIST's files in DIR, each hidden into at
# BPC; DIR.list names the copies with their groups.
hide_copies() {
  local group file out
  mkdir -p "$2"
  : >"$2.list"
  while IFS=$'\t' read -r group file; do
    out="$2/$(basename "$file")"
    cp "$file" "$out"
    hide "$out" "$3" "$("$tool" values "$file")"
    printf '%s\t%s\n' "$group" "$out" >>"$2.list"
  done <"$1"
}

# The crops the picture parts use: all, or about --crops N spread over the photos.
crop_list() {
  local list="$data/report.list" total
  total=$(wc -l <"$list")
  if [ "$crops" -gt 0 ] && [ "$crops" -lt "$total" ]; then
    awk -v step="$((total / crops))" 'NR % step == 1' "$list"
  else
    cat "$list"
  fi
}
if has real-pictures || has png; then
  crop_list >"$work/crops.list"
  if [ "$crops" -gt 0 ]; then  # covers of the chosen crops only
    cover_feat="$feat/crops$crops-cover.feat"
    [ -f "$cover_feat" ] || "$tool" pictures "$work/crops.list" "$feat" --schemes cover --tag "crops$crops-"
  else
    cover_feat="$feat/cover.feat"
    [ -f "$cover_feat" ] || "$tool" pictures "$data/report.list" "$feat" --schemes cover
  fi
fi

if has real-pictures; then
  say "carriers written by $kalmira hide --stealth (payload: name and data; bpc of all colour values)"
  for p in ${payloads//,/ }; do
    hide_copies "$work/crops.list" "$work/real-$p" "$p"
    "$tool" pictures "$work/real-$p.list" "$feat" --schemes cover --tag "real-$p-"
  done
  evaluate "$cover_feat" $(for p in ${payloads//,/ }; do echo "$feat/real-$p-cover.feat"; done)
fi

if has real-sounds; then
  say "sound segments written by $kalmira hide --stealth (bpc of all samples); statistics only"
  for depth in s16 s24; do
    [ -f "$feat/$depth-cover.feat" ] || "$tool" sounds "$data/$depth.list" "$feat" --schemes cover --tag "$depth-"
    for p in ${payloads//,/ }; do
      hide_copies "$data/$depth.list" "$work/real-$depth-$p" "$p"
      "$tool" sounds "$work/real-$depth-$p.list" "$feat" --schemes cover --tag "real-$depth-$p-"
    done
    evaluate "$feat/$depth-cover.feat" $(for p in ${payloads//,/ }; do echo "$feat/real-$depth-$p-cover.feat"; done)
  done
fi

if has png; then
  say "PNG covers: crops as 8-bit RGB PNG, hidden into by $kalmira, back to BMP for the features"
  covers="$work/png-cover"
  mkdir -p "$covers"
  while IFS=$'\t' read -r group file; do
    png="$covers/$(basename "$file" .bmp).png"
    convert "$file" -define png:color-type=2 -depth 8 "PNG24:$png"
    # The round trip must give the crop's pixels back, or the covers differ.
    convert "$png" -type TrueColor "BMP3:$covers/check.bmp"
    # (pixels only: some crops carry bytes after them, which the BMP writer drops)
    cmp -s -n "$(($(stat -c %s "$covers/check.bmp") - 54))" -i 54:54 "$file" "$covers/check.bmp" || {
      echo "$png: PNG round trip changes the pixels" >&2
      exit 1
    }
  done <"$work/crops.list"
  rm -f "$covers/check.bmp"
  for p in ${payloads//,/ }; do
    dir="$work/png-$p"
    mkdir -p "$dir"
    : >"$dir.list"
    while IFS=$'\t' read -r group file; do
      name="$(basename "$file" .bmp)"
      cp "$covers/$name.png" "$dir/$name.png"
      hide "$dir/$name.png" "$p" "$("$tool" values "$file")"
      convert "$dir/$name.png" -type TrueColor "BMP3:$dir/$name.bmp"
      printf '%s\t%s\n' "$group" "$dir/$name.bmp" >>"$dir.list"
    done <"$work/crops.list"
    "$tool" pictures "$dir.list" "$feat" --schemes cover --tag "png-$p-"
  done
  evaluate "$cover_feat" $(for p in ${payloads//,/ }; do echo "$feat/png-$p-cover.feat"; done)
fi
