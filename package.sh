#!/usr/bin/env bash
# Makes the Debian package kalmira_<version>_amd64.deb in this folder and
# prints its name.
# It packs the build in build/, the one ./test.sh and ./run.sh make, with the
# same flags (kalmira_build_flags: Debian's hardening, prefix /usr): after
# either of them only what is missing gets built.
# Check it with dist/check-package.sh kalmira_*.deb (docs/packaging.md).
set -euo pipefail
cd "$(dirname "$0")"
source tools/deps.sh
kalmira_install_missing "${KALMIRA_PACKAGE_TOOLS[@]}"

dir=build
kalmira_build_flags
cmake -S . -B "$dir" -G Ninja "${KALMIRA_BUILD_FLAGS[@]}" >&2
cmake --build "$dir" -j "$(nproc)" >&2
rm -rf "$dir"/package
cpack --config "$dir/CPackConfig.cmake" -B "$PWD/$dir/package" >&2
deb=$(basename "$(ls "$dir"/package/kalmira_*_amd64.deb)")
mv "$dir/package/$deb" .
echo "$deb"
