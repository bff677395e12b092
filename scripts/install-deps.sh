#!/usr/bin/env bash
# Installs the Debian packages the project needs, only those still missing.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev libx11-dev fonts-liberation
  qt6-serialport-dev libudev-dev qt6-charts-dev libqt6opengl6-dev qt6-svg-dev libcli11-dev qt6-translations-l10n
  libqt6sql6-sqlite libsqlite3-dev libqt6sql6-psql libpq-dev postgresql-15 openssl
  libgtest-dev libbenchmark-dev
  xvfb xauth x11-utils poppler-utils
  clang libclang-rt-14-dev clang-format clang-tidy python3
  desktop-file-utils appstream
  libcpp-httplib-dev libssl-dev openssl libsodium-dev chromium chromium-driver python3-selenium wrk
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
"${sudo_cmd[@]}" apt-get update -q
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
