#!/usr/bin/env bash
# Runs every benchmark program the build produced.  Benchmarks report ratios
# against a baseline measured in the same run; they never fail.
set -uo pipefail
build=${1:-build}
shopt -s nullglob
for b in "$build"/bench/*; do
  [ -x "$b" ] || continue
  echo "== $(basename "$b")"
  "$b" --benchmark_counters_tabular=true || true
done
