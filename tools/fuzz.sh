#!/bin/sh
# fuzz.sh - builds the fuzz targets with clang (libFuzzer, AddressSanitizer, UndefinedBehavior-
# Sanitizer) and runs each for SECONDS (default 60) from its seed corpus in tests/fuzz/corpus.
# A crash, a sanitizer report, an input that runs over 10 s, over 2 GB, or an output without
# bound is a finding: the run goes on with the next target and ends with status 1, and the input
# is left in build-fuzz/findings/TARGET/ (make it a regression test in tests/fuzz/regressions).
#
# Usage: tools/fuzz.sh [SECONDS [TARGET...]]   e.g. tools/fuzz.sh 3600 kerfgen
set -e
cd "$(dirname "$0")/.."
tools/setup.sh
seconds="${1:-60}"
[ $# -gt 0 ] && shift
targets="${*:-kerfgen kerfdisplay kerfsend}"
top="$(pwd)"
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DKERF_FUZZ=ON -DKERF_BENCH=OFF >/dev/null
for target in $targets; do
  cmake --build build-fuzz -j"$(nproc)" --target "${target}_fuzz" >/dev/null
done
status=0
for target in $targets; do
  work="$top/build-fuzz/corpus/$target"
  findings="$top/build-fuzz/findings/$target"
  log="$top/build-fuzz/$target.log"
  mkdir -p "$work" "$findings"
  if "$top/build-fuzz/bin/${target}_fuzz" -max_total_time="$seconds" -timeout=10 \
      -rss_limit_mb=2048 -max_len=1024 -close_fd_mask=1 -print_final_stats=1 \
      -artifact_prefix="$findings/" "$work" "$top/tests/fuzz/corpus/$target" \
      </dev/null >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    cov=$(sed -n 's/^#[0-9]*.*DONE *cov: \([0-9]*\) ft: \([0-9]*\).*/\1 edges, \2 features/p' "$log")
    echo "fuzz $target: $runs runs in $seconds s, no finding ($cov)"
  else
    status=1
    echo "fuzz $target: FINDING, input in $findings"
    grep -E -A12 '^==[0-9]+==|runtime error|output without bound|ALARM|out-of-memory' "$log" | head -40
  fi
done
exit $status
