#!/usr/bin/env bash
# Builds the libFuzzer targets with clang-14 (ASan + UBSan) in build-fuzz/ and
# runs each for SECONDS, two at a time.
#   tools/fuzz.sh SECONDS [TARGET...]     e.g. tools/fuzz.sh 600 wav decomp
# Corpora grow in build-fuzz/corpus/<target> (seeded by fuzz_make_seeds),
# logs go to build-fuzz/logs, findings to build-fuzz/findings/<target>.
# FUZZ_JOBS sets how many targets run at once (default 2).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:?usage: tools/fuzz.sh SECONDS [TARGET...]}
shift
all=(extract_file extract_message wav bmp_info decomp convert png flac stealth)
if [ $# -gt 0 ]; then targets=("$@"); else targets=("${all[@]}"); fi
jobs=${FUZZ_JOBS:-2}
dir=build-fuzz
source tools/deps.sh
kalmira_install_missing "${KALMIRA_FUZZ_PACKAGES[@]}"

cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 \
  -DKALMIRA_FUZZ=ON -DKALMIRA_BUILD_TESTS=OFF -DKALMIRA_BUILD_BENCH=OFF >/dev/null
cmake --build "$dir" -j 2 --target fuzz_make_seeds $(printf 'fuzz_%s ' "${targets[@]}")

# Scratch files of the targets live on a tmpfs when there is one.
scratch=$(mktemp -d "$( [ -d /dev/shm ] && echo /dev/shm || echo /tmp )/kalmira-fuzz.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
export TMPDIR=$scratch QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:allocator_may_return_null=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS=suppressions=$PWD/tools/sanitizer/lsan.supp:print_suppressions=0

"$dir/bin/fuzz_make_seeds" "$dir/seeds" >/dev/null
# The codec targets start from the test carriers.
for t in png flac; do
  mkdir -p "$dir/seeds/$t"
  cp tests/data/carrier/*."$t" "$dir/seeds/$t/"
done
# The stealth target: a valid picture and sound carrier unchanged, and each
# from values of the input.
mkdir -p "$dir/seeds/stealth"
for b in 00 01 02 03; do printf "\\x$b" >"$dir/seeds/stealth/$b"; done
mkdir -p "$dir/logs"

max_len() {
  case $1 in
    bmp_info) echo 512 ;;
    wav) echo 4096 ;;
    extract_file | extract_message | stealth) echo 16384 ;;
    *) echo 65536 ;;
  esac
}

run() {
  local t=$1
  mkdir -p "$dir/corpus/$t" "$dir/findings/$t"
  "$dir/bin/fuzz_$t" "$dir/corpus/$t" "$dir/seeds/$t" \
    -max_total_time="$seconds" -max_len="$(max_len "$t")" -timeout=30 \
    -rss_limit_mb=2048 -malloc_limit_mb=1024 -print_final_stats=1 \
    -artifact_prefix="$dir/findings/$t/" >"$dir/logs/$t.log" 2>&1
}

status=0
pids=()
names=()
for t in "${targets[@]}"; do
  run "$t" &
  pids+=($!)
  names+=("$t")
  if [ ${#pids[@]} -ge "$jobs" ]; then
    wait "${pids[0]}" || status=1
    pids=("${pids[@]:1}")
  fi
done
for p in "${pids[@]}"; do wait "$p" || status=1; done

printf '%-16s %12s %8s %s\n' target executions corpus result
for t in "${names[@]}"; do
  log=$dir/logs/$t.log
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  units=$(ls "$dir/corpus/$t" | wc -l)
  if grep -qE '^==[0-9]+==ERROR|^SUMMARY: |deadly signal|Test unit written' "$log"; then
    result="FINDING (see $log)"
  else
    result=ok
  fi
  printf '%-16s %12s %8s %s\n' "$t" "${execs:-?}" "$units" "$result"
done
exit $status
