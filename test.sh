#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test.
#   ./test.sh             normal build in build/
#   ./test.sh --sanitize  AddressSanitizer + UBSan build in build-asan/
# With CI set (as CI runs it) warnings are errors in the normal build.
set -euo pipefail
cd "$(dirname "$0")"
source tools/deps.sh
kalmira_install_missing "${KALMIRA_TEST_PACKAGES[@]}"

dir=build
kalmira_build_flags # shared with ./run.sh and ./package.sh, which then reuse build/
flags=("${KALMIRA_BUILD_FLAGS[@]}" -DKALMIRA_BUILD_TESTS=ON)
if [ "${1:-}" = "--sanitize" ]; then
  dir=build-asan
  flags=(-DCMAKE_BUILD_TYPE=Debug -DKALMIRA_BUILD_TESTS=ON -DKALMIRA_SANITIZE=ON -DKALMIRA_BUILD_BENCH=OFF)
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:detect_stack_use_after_return=1
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
  # Leaks inside third-party libraries that cannot be freed from our side.
  export LSAN_OPTIONS=suppressions=$PWD/tools/sanitizer/lsan.supp:print_suppressions=0
  shift
fi

# Under CI a warning fails the normal build (the sanitizer build's own
# instrumentation warnings are not the code's).
[ -n "${CI:-}" ] && [ "$dir" = build ] && flags+=(-DKALMIRA_WERROR=ON)
# A compiler cache, where installed, makes rebuilds of other checkouts cheap.
command -v ccache >/dev/null && flags+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
cmake -S . -B "$dir" -G Ninja "${flags[@]}"
cmake --build "$dir" -j "$(nproc)"
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$dir" --output-on-failure -j "$(nproc)" "$@"
