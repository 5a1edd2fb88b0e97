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
# Two tests that use a core at a time, and beside them up to four shell sessions
# that wait on a board server's line (the build's ctest shares the machine out by
# tests/ctest-resources.json, whose "cpu" is the jobs here): the sessions spend
# their minutes waiting, not computing.
(cd build && ctest --output-on-failure -j $((jobs + 4)))

# One clang build serves the sanitizer leg and the fuzz targets: the layers are
# compiled once with the sanitizers and libFuzzer's coverage, and the fuzz
# targets are a few files more on them. Under the sanitizers the tests that run
# every model run one model of each set of algorithms (every algorithm once);
# the normal build above ran them all, and the checks that run Python or the
# shell over the sources (label "tools").
export CORVANEL_TEST_MODELS=one-per-algorithm
cmake -S . -B build-sanitize-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DCMAKE_CXX_COMPILER="${CXX:-clang++}" -DCORVANEL_SANITIZE=ON -DCORVANEL_FUZZ=ON \
      -DCORVANEL_BUILD_GUI=OFF -DCORVANEL_BUILD_BENCHMARKS=OFF
cmake --build build-sanitize-fuzz -j "$jobs"
# The AVR simulator library keeps what it allocated for a simulated board (it has
# no call to free it): that is not the program's leak.
suppressions=$PWD/tests/sanitizer/lsan-suppressions.txt
(cd build-sanitize-fuzz &&
  LSAN_OPTIONS=suppressions=$suppressions ctest --output-on-failure -j "$jobs" -LE tools)

FUZZ_BUILD=build-sanitize-fuzz bash scripts/fuzz.sh all 12
