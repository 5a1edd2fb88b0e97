#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs everything the project needs on Debian 12 (run as root). Packages
# that are already present are not fetched again.
set -euo pipefail
packages=(cmake g++ make pkg-config libgtest-dev libgmock-dev libbenchmark-dev
          qt6-base-dev qt6-serialport-dev libgl-dev gputils xvfb xauth
          fonts-dejavu-core fonts-liberation
          dpkg-dev file librsvg2-bin desktop-file-utils appstream bash-completion man-db
          clang libclang-rt-14-dev
          gcc-avr avr-libc simavr libsimavr-dev libelf-dev)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "Missing packages: ${missing[*]} (run this script as root to install them)" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  # Another package manager at work (an unattended upgrade) holds the lock for a
  # while: wait for it instead of failing.
  apt-get -o DPkg::Lock::Timeout=600 update
  apt-get -o DPkg::Lock::Timeout=600 install -y --no-install-recommends "${missing[@]}"
fi
