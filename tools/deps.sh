#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, only those missing.
set -euo pipefail

KALMIRA_PACKAGES=(
  g++ cmake ninja-build pkg-config
  qt6-base-dev qt6-multimedia-dev qt6-image-formats-plugins qt6-translations-l10n libgl-dev
  zlib1g-dev libssl-dev libwmf-dev
  libsodium-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  gstreamer1.0-plugins-good
  xvfb xauth imagemagick
)

kalmira_install_missing() {
  local missing=()
  for p in "${KALMIRA_PACKAGES[@]}" "$@"; do
    dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}
