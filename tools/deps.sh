#!/usr/bin/env bash
# Installs the Debian packages the scripts need, only those missing.
#   kalmira_install_missing [PACKAGE...]   building and running, plus the named ones
set -euo pipefail

# Building and running (./run.sh); xdg-utils opens extracted files,
# dpkg-dev gives Debian's compiler flags (kalmira_build_flags).
KALMIRA_PACKAGES=(
  g++ cmake ninja-build pkg-config dpkg-dev
  qt6-base-dev qt6-multimedia-dev qt6-image-formats-plugins qt6-translations-l10n libgl-dev
  zlib1g-dev libwmf-dev
  libsodium-dev
  libpng-dev libflac-dev
  gstreamer1.0-plugins-good xdg-utils
)

# Tests, benchmarks, screenshots, the checks of the desktop files (./test.sh)
# and the static checks (tools/format.sh, tools/tidy.sh).
KALMIRA_TEST_PACKAGES=(
  libgtest-dev libgmock-dev libbenchmark-dev libssl-dev
  xvfb xauth imagemagick
  pngcheck flac sox
  desktop-file-utils appstream man-db
  clang-format-14 clang-tidy-14
)

# The fuzz targets (tools/fuzz.sh) and the comparison with a peer
# (bench/peers.sh).
KALMIRA_FUZZ_PACKAGES=(clang-14 libclang-rt-14-dev)
KALMIRA_BENCH_PACKAGES=(steghide)

# Making and checking the Debian package (./package.sh).
KALMIRA_PACKAGE_TOOLS=(
  file lintian
)

kalmira_install_missing() {
  local missing=()
  for p in "${KALMIRA_PACKAGES[@]}" "$@"; do
    dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}" >&2
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -qq >&2
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
}

# The one configuration of build/ that ./run.sh, ./test.sh and ./package.sh
# share, so that each reuses what another has built: Debian's compiler and
# linker flags with all hardening (the package must have them), prefix /usr,
# and the compiler cache where installed. Sets KALMIRA_BUILD_FLAGS.
kalmira_build_flags() {
  local cppflags
  export DEB_BUILD_MAINT_OPTIONS=hardening=+all
  cppflags=$(dpkg-buildflags --get CPPFLAGS)
  KALMIRA_BUILD_FLAGS=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr
    "-DCMAKE_C_FLAGS=$(dpkg-buildflags --get CFLAGS) $cppflags"
    "-DCMAKE_CXX_FLAGS=$(dpkg-buildflags --get CXXFLAGS) $cppflags"
    "-DCMAKE_EXE_LINKER_FLAGS=$(dpkg-buildflags --get LDFLAGS)"
    "-DCMAKE_SHARED_LINKER_FLAGS=$(dpkg-buildflags --get LDFLAGS)")
  if command -v ccache >/dev/null; then
    KALMIRA_BUILD_FLAGS+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
  fi
}
