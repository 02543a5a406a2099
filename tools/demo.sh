#!/bin/sh
# demo.sh - builds the tool chain and runs Kerfgen on the shipped example jobs.
set -e
cd "$(dirname "$0")/.."
tools/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)" --target Kerfgen Kerfdisplay
# Standard input is not a terminal here, so the closing key wait returns at once.
build/bin/Kerfgen examples/plate.txt examples/plate.nc </dev/null
echo "G-code written to examples/plate.nc"
# The viewer's picture of the initial view, drawn on a virtual X display.
xvfb-run -a -s "-screen 0 1024x768x24" build/bin/Kerfdisplay examples/plate.nc --png examples/plate.png >/dev/null
echo "Tool path picture written to examples/plate.png"
# The part the program cuts, simulated, in the same view.
xvfb-run -a -s "-screen 0 1024x768x24" build/bin/Kerfdisplay examples/plate.nc --sim --png examples/plate_part.png >/dev/null
echo "Simulated part picture written to examples/plate_part.png"
# The lathe example, the same way, fitted: its Y (across the bar) spans a fifth of its X.
build/bin/Kerfgen examples/shaft.txt examples/shaft.nc </dev/null
echo "G-code written to examples/shaft.nc"
xvfb-run -a -s "-screen 0 1024x768x24" build/bin/Kerfdisplay examples/shaft.nc --fit --png examples/shaft.png >/dev/null
echo "Tool path picture written to examples/shaft.png"
# The part it turns, from the bar its comments name: 3 inch, the surface at Y 0.02.
xvfb-run -a -s "-screen 0 1024x768x24" build/bin/Kerfdisplay examples/shaft.nc --sim --stock-diameter 3 --surface 0.02 --view front --fit --png examples/shaft_part.png >/dev/null
echo "Turned part picture written to examples/shaft_part.png"
