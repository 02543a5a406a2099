#!/bin/sh
# test.sh - builds everything twice (warnings as errors; then with AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs the whole test suite in both builds; the Windows
# programs are cross-built once and tested under wine in the first.
set -e
cd "$(dirname "$0")/.."
tools/setup.sh
jobs="$(nproc)"
# The Windows programs, cross-built; the first build's tests run them under wine.
cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DKERF_WERROR=ON >/dev/null
cmake --build build-windows -j"$jobs"
for variant in build build-asan; do
  extra="-DKERF_WINDOWS_BIN=$PWD/build-windows/bin"
  [ "$variant" = build-asan ] && extra="-DKERF_SANITIZE=ON -DKERF_BENCH=OFF -DKERF_WINDOWS_BIN="
  # shellcheck disable=SC2086
  cmake -S . -B "$variant" -DKERF_WERROR=ON $extra >/dev/null
  cmake --build "$variant" -j"$jobs"
  # The viewer's tests need an X display; Xvfb stands in for one.
  xvfb-run -a -s "-screen 0 1024x768x24" \
    ctest --test-dir "$variant" --output-on-failure -j"$jobs" </dev/null
done
# A short fuzzing run of every reader (about a minute a target); tools/fuzz.sh says more.
tools/fuzz.sh 60
echo "All tests passed in both builds, and the fuzzing run found nothing."
