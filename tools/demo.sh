#!/bin/sh
# demo.sh - builds the tool chain and runs Kerfgen on the shipped example job.
set -e
cd "$(dirname "$0")/.."
tools/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)" --target Kerfgen
# Standard input is not a terminal here, so the closing key wait returns at once.
build/bin/Kerfgen examples/plate.txt examples/plate.nc </dev/null
echo "G-code written to examples/plate.nc"
