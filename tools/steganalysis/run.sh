#!/usr/bin/env bash
# Runs the steganalysis of the stealth format (docs/steganalysis.md).
#   tools/steganalysis/run.sh [--quick] [--real]
#   --quick  one payload (0.1 bpc), version 1 and pixel costs, 4 splits: minutes
#   --real   also measure carriers written by the program itself
#            (build/bin/kalmira hide --stealth, built here if missing)
# Builds the tool in $KALMIRA_ANALYSIS_DIR (default build-analysis), makes the
# data set on first use (dataset.sh) and appends every table to results.txt.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
work="${KALMIRA_ANALYSIS_DIR:-$root/build-analysis}"
quick=0 real=0
for a in "$@"; do
  case $a in
    --quick) quick=1 ;;
    --real) real=1 ;;
    *) echo "usage: $0 [--quick] [--real]" >&2; exit 2 ;;
  esac
done

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

if [ $real = 1 ]; then
  kalmira="$root/build/bin/kalmira"
  [ -x "$kalmira" ] || cmake --build "$root/build" --target kalmira >/dev/null
  say "carriers written by $kalmira hide --stealth (payload: name and data)"
  pw="$work/analysis-password"
  echo "Analyse123" >"$pw"  # a fixed password: these carriers hold random bytes only
  for p in ${payloads//,/ }; do
    dir="$work/real-$p"
    mkdir -p "$dir"
    : >"$dir.list"
    while IFS=$'\t' read -r group file; do
      out="$dir/$(basename "$file")"
      cp "$file" "$out"
      usable=$(("$(stat -c %s "$file")" - 54))  # 512x512 rows need no padding
      head -c "$(awk -v p="$p" -v n="$usable" 'BEGIN { printf "%d", p * n / 8 - 1 }')" /dev/urandom >"$dir/p"
      "$kalmira" hide "$out" "$dir/p" --stealth --password-file "$pw" >/dev/null
      printf '%s\t%s\n' "$group" "$out" >>"$dir.list"
    done <"$data/report.list"
    "$tool" pictures "$dir.list" "$feat" --schemes cover --tag "real-$p-"
  done
  evaluate "$feat/cover.feat" $(for p in ${payloads//,/ }; do echo "$feat/real-$p-cover.feat"; done)
fi
