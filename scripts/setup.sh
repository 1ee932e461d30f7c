#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, only those missing.
set -euo pipefail

packages=(
  build-essential cmake ccache pkg-config
  qt6-base-dev qt6-tools-dev qt6-l10n-tools qt6-translations-l10n librtmidi-dev libfluidsynth-dev libsndfile1-dev timgm6mb-soundfont fluid-soundfont-gm
  libgtest-dev libgmock-dev libbenchmark-dev
  jackd2 libjack-jackd2-dev fluidsynth python3 python3-mido
  xvfb xauth fonts-liberation
  clang libclang-rt-14-dev
  desktop-file-utils shared-mime-info appstream librsvg2-bin xdotool libx11-dev libxtst-dev libxkbcommon-dev
  libwayland-dev weston x11-xkb-utils
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo env DEBIAN_FRONTEND=noninteractive apt-get update -qq
$sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
