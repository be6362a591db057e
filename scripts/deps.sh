#!/usr/bin/env bash
# Installs the Debian 12 packages Tolvane builds, runs and tests with (as root, or with sudo).
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive LANG=C.UTF-8
packages=(build-essential cmake ninja-build pkg-config file
  qt6-base-dev libqt6sql6-sqlite libqt6sql6-psql qt6-image-formats-plugins libqt6svg6 qt6-svg-dev
  libxlsxwriter-dev libtiff-dev libzint-dev zlib1g-dev libboost-dev libsodium-dev libsqlite3-dev sqlite3
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth postgresql python3 python3-ezdxf python3-openpyxl poppler-utils libtiff-tools fonts-dejavu-core fonts-liberation)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo=sudo
  $sudo apt-get update -qq
  $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
