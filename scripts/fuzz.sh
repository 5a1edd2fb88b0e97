#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the fuzz targets of tests/fuzz with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer, and runs them on their seed corpus.
#   scripts/fuzz.sh [TARGET|all] [SECONDS]
# TARGET is one of hex_reader, device_database, config_fields, chip_state,
# interpreter, send_ahead, serial_number, region_list, calibration_file,
# settings_values, block_framing, job_file, and with QtCore port_files and file_handoff (all of them by
# default, as many side by side as the machine has cores, or FUZZ_JOBS); each
# runs SECONDS (20 by default). New inputs go to build-fuzz/corpus/TARGET, so
# the committed seeds stay as they are; a finding is written to
# build-fuzz/findings/ and ends the script with exit status 1 once every
# target has run. FUZZ_BUILD names another build folder configured with
# -DCORVANEL_FUZZ=ON (CI's sanitizer build, whose objects the targets share);
# it is used as it is configured.
set -euo pipefail
cd "$(dirname "$0")/.."
target=${1:-all}
seconds=${2:-20}
targets=(hex_reader device_database config_fields chip_state interpreter send_ahead
  serial_number region_list calibration_file settings_values block_framing job_file)
# The readers of the Qt layers are fuzzed where QtCore is installed.
build=${FUZZ_BUILD:-build-fuzz}
if [ -n "${FUZZ_BUILD:-}" ]; then
  grep -q '^CORVANEL_FUZZ:BOOL=ON$' "$build/CMakeCache.txt" 2>/dev/null ||
    { echo "fuzz.sh: $build is not configured with -DCORVANEL_FUZZ=ON" >&2; exit 2; }
else
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_CXX_COMPILER="${CXX:-clang++}" -DCORVANEL_FUZZ=ON \
        -DCORVANEL_BUILD_GUI=OFF -DCORVANEL_BUILD_TESTS=OFF -DCORVANEL_BUILD_BENCHMARKS=OFF >/dev/null
fi
build_targets=$(cmake --build "$build" --target help)
for t in port_files file_handoff; do
  if grep -Eq "(^|[ .])${t}_fuzz(:|$)" <<<"$build_targets"; then
    targets+=("$t")
  fi
done
if [ "$target" != all ]; then
  found=no
  for t in "${targets[@]}"; do [ "$t" = "$target" ] && found=yes; done
  [ $found = yes ] || { echo "fuzz.sh: no target $target (${targets[*]})" >&2; exit 2; }
  targets=("$target")
fi

cmake --build "$build" -j 2 --target "${targets[@]/%/_fuzz}"

mkdir -p "$build/findings"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# The targets run side by side, one a core (FUZZ_JOBS overrides): each still has
# its SECONDS of a core to itself, so a run finds as much in a fraction of the time.
jobs=${FUZZ_JOBS:-$(nproc 2>/dev/null || echo 1)}
fuzz_one() {
  local t=$1 status=0
  mkdir -p "$build/corpus/$t"
  "$build/bin/${t}_fuzz" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -max_len=65536 -print_final_stats=1 -artifact_prefix="$build/findings/${t}-" \
      "$build/corpus/$t" "tests/fuzz/corpus/$t" >"$build/$t.log" 2>&1 || status=$?
  echo "$status" >"$build/$t.status"
}
running=0
for t in "${targets[@]}"; do
  rm -f "$build/$t.status"
  if [ "$running" -ge "$jobs" ]; then
    wait -n || true
    running=$((running - 1))
  fi
  fuzz_one "$t" &
  running=$((running + 1))
done
wait
found=0
for t in "${targets[@]}"; do
  echo "== $t: $seconds s"
  grep -E "^stat::(number_of_executed_units|peak_rss_mb)|ERROR|SUMMARY|Test unit written" \
      "$build/$t.log" || true
  status=$(cat "$build/$t.status" 2>/dev/null || echo 1)
  [ "$status" -eq 0 ] || { echo "fuzz.sh: $t found a fault (see $build/$t.log)" >&2; found=1; }
done
exit "$found"
