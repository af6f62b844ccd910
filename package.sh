#!/usr/bin/env bash
# Makes the Debian package kalmira_<version>_amd64.deb in this folder and
# prints its name.
# It builds a release in build-deb/ (hardened, no tests, prefix /usr).
# Check it with dist/check-package.sh kalmira_*.deb (docs/packaging.md).
set -euo pipefail
cd "$(dirname "$0")"
source tools/deps.sh
kalmira_install_missing "${KALMIRA_PACKAGE_TOOLS[@]}"

dir=build-deb
# Debian's compiler and linker flags, hardening included; installed under /usr,
# the private library goes to /usr/lib/<triplet>/kalmira.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
flags=(-DCMAKE_BUILD_TYPE=Release -DKALMIRA_BUILD_TESTS=OFF -DKALMIRA_BUILD_BENCH=OFF
       -DCMAKE_INSTALL_PREFIX=/usr
       "-DCMAKE_C_FLAGS=$(dpkg-buildflags --get CFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
       "-DCMAKE_CXX_FLAGS=$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
       "-DCMAKE_EXE_LINKER_FLAGS=$(dpkg-buildflags --get LDFLAGS)"
       "-DCMAKE_SHARED_LINKER_FLAGS=$(dpkg-buildflags --get LDFLAGS)")
command -v ccache >/dev/null && flags+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
cmake -S . -B "$dir" -G Ninja "${flags[@]}" >&2
cmake --build "$dir" -j "$(nproc)" >&2
rm -f "$dir"/package/kalmira_*.deb
cpack --config "$dir/CPackConfig.cmake" -B "$PWD/$dir/package" >&2
deb=$(basename "$(ls "$dir"/package/kalmira_*_amd64.deb)")
mv "$dir/package/$deb" .
echo "$deb"
