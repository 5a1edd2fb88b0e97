#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Sets everything up and runs every test: the normal build with the Qt layer,
# then the pure C++ layers again under AddressSanitizer and UndefinedBehaviorSanitizer,
# and each fuzz target of tests/fuzz for 12 seconds (clang, the same sanitizers).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
jobs=2

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$jobs"
(cd build && ctest --output-on-failure -j "$jobs")

# Under the sanitizers the tests that run every model run one model of each set
# of algorithms (every algorithm once); the normal build above ran them all.
export CORVANEL_TEST_MODELS=one-per-algorithm
cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DCORVANEL_SANITIZE=ON \
      -DCORVANEL_BUILD_GUI=OFF -DCORVANEL_BUILD_BENCHMARKS=OFF
cmake --build build-sanitize -j "$jobs"
# The AVR simulator library keeps what it allocated for a simulated board (it has
# no call to free it): that is not the program's leak.
suppressions=$PWD/tests/sanitizer/lsan-suppressions.txt
(cd build-sanitize && LSAN_OPTIONS=suppressions=$suppressions ctest --output-on-failure -j "$jobs")

bash scripts/fuzz.sh all 12
