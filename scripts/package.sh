#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package tavrelix-corvanel_<version>_<arch>.deb in the top
# folder of the clone: the three programs, the device database, the desktop
# entry and icons, the AppStream metainfo, man pages and bash completion.
# Install it with:  sudo apt install ./tavrelix-corvanel_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
jobs=2

cmake -S . -B build-package -DCMAKE_BUILD_TYPE=Release -DCORVANEL_BUILD_TESTS=OFF \
      -DCORVANEL_BUILD_BENCHMARKS=OFF
cmake --build build-package -j "$jobs"
(cd build-package && cpack -G DEB -B "$PWD/package")
cp build-package/package/tavrelix-corvanel_*.deb .
ls -l tavrelix-corvanel_*.deb
