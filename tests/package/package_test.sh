#!/bin/sh
# package_test.sh - makes the Debian package from this build, unpacks it into a scratch root and
# runs the programs from there as an installed copy runs. Needs the X display that the test
# command provides (Xvfb).
# Usage: package_test.sh CPACK CPACK_CONFIG BUILT_KERFGEN BUILT_KERFDISPLAY SOURCE_DIR
set -eu
cpack=$1 config=$2 built_gen=$3 built_display=$4 source=$5
fail() { echo "FAIL: $*" >&2; exit 1; }
[ -n "${DISPLAY:-}" ] || fail "the viewer needs an X display (xvfb-run)"
scratch=$(mktemp -d /tmp/kerf-package-XXXXXX)
viewer=""
trap '[ -z "$viewer" ] || kill -9 "$viewer" 2>/dev/null; rm -rf "$scratch"' EXIT

"$cpack" --config "$config" -B "$scratch/out" >"$scratch/cpack.log" 2>&1 ||
  { cat "$scratch/cpack.log"; fail "cpack could not make the package"; }
set -- "$scratch"/out/*.deb
if [ $# -ne 1 ] || [ ! -f "$1" ]; then fail "cpack made no single .deb: $*"; fi
deb=$1
echo "package: $(basename "$deb"), $(wc -c <"$deb") bytes"

# What is shipped: the three programs and the documentation, no test or benchmark.
dpkg-deb -c "$deb" | awk '{print $6}' | grep -v '/$' | sort >"$scratch/contents"
{
  printf './usr/bin/%s\n' Kerfdisplay Kerfgen Kerfsend
  echo ./usr/share/doc/kerf/README.md
  for f in "$source"/examples/*.txt "$source"/examples/*.png; do
    echo "./usr/share/doc/kerf/examples/${f##*/}"
  done
} | sort >"$scratch/expected"
diff "$scratch/expected" "$scratch/contents" || fail "the package holds other files than expected"

mkdir "$scratch/root"
dpkg -x "$deb" "$scratch/root"
root=$(realpath "$scratch/root")
bin=$root/usr/bin
doc=$root/usr/share/doc/kerf
cmp "$source/README.md" "$doc/README.md"
for f in "$source"/examples/*.txt "$source"/examples/*.png; do cmp "$f" "$doc/examples/${f##*/}"; done

# Every library a program links must come from a package named in Depends, or an installed
# copy fails to start on a machine that lacks it. (What those libraries need in turn, their own
# packages bring.)
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for program in "$bin"/*; do
  readelf -d "$program" | sed -n 's/.*(NEEDED).*\[\(.*\)\]$/\1/p' >"$scratch/needed"
  [ -s "$scratch/needed" ] || fail "readelf lists no libraries for $program"
  ldd "$program" | awk 'NR == FNR {needed[$1]; next} ($1 in needed) && $2 == "=>" {print $3}' \
    "$scratch/needed" - >"$scratch/libraries"
  [ "$(wc -l <"$scratch/libraries")" -eq "$(wc -l <"$scratch/needed")" ] ||
    fail "not every library of ${program##*/} is found: $(cat "$scratch/needed")"
  while read -r library; do
    real=$(realpath "$library")
    # Merged /usr: dpkg may hold the file under either name.
    owner=$(dpkg -S "$real" 2>/dev/null || dpkg -S "${real#/usr}" 2>/dev/null) ||
      fail "no package owns $library"
    owner=${owner%%:*}
    case ", $depends" in
      *", $owner "* | *", $owner,"* | *", $owner" | *"| $owner"*) ;;
      *) fail "${program##*/} needs $library from $owner, which Depends does not name" ;;
    esac
  done <"$scratch/libraries"
done

# Run from the unpacked root: the same G-code and the same picture as the build tree's programs.
# Each writes plate.nc in a folder of its own, since the header names the output file.
mkdir "$scratch/work" "$scratch/work/installed" "$scratch/work/built"
cd "$scratch/work"
job=$doc/examples/plate.txt
(cd installed && "$bin/Kerfgen" "$job" plate.nc </dev/null >console)
(cd built && "$built_gen" "$job" plate.nc </dev/null >console)
# The header's creation time is the only line that may differ between the two runs.
stamp='^;   File created: '
[ "$(grep -c "$stamp" installed/plate.nc)" -eq 1 ] || fail "no single creation time in plate.nc"
grep -v "$stamp" installed/plate.nc >installed.rest
grep -v "$stamp" built/plate.nc >built.rest
[ "$(grep -c '^n[0-9]* g1 ' installed.rest)" -gt 50 ] || fail "plate.nc holds too few moves"
cmp installed.rest built.rest || fail "the installed Kerfgen wrote other G-code"

"$bin/Kerfdisplay" installed/plate.nc --png installed.png >/dev/null </dev/null
"$built_display" installed/plate.nc --png built.png >/dev/null </dev/null
# PNG signature, then the IHDR's width and height: 640 x 480.
header=$(od -An -tx1 -N24 installed.png | tr -d ' \n')
[ "$header" = "89504e470d0a1a0a0000000d4948445200000280000001e0" ] ||
  fail "installed.png is no 640 x 480 PNG: $header"
cmp installed.png built.png || fail "the installed viewer drew another picture"

printf e | HOME="$scratch/work" "$bin/Kerfsend" >kerfsend.console
grep -q '^HB617G DNC Program V' kerfsend.console || fail "the installed Kerfsend did not start"

# `toolpath`, with Kerfgen found on the search path as a user starts it: its process must become
# the viewer installed beside it.
{ cat "$job"; echo toolpath; } >job.txt
PATH="$bin:/usr/bin:/bin" Kerfgen job.txt job.nc </dev/null >handover.console 2>&1 &
viewer=$!
tries=0
until grep -q '^Generating Tool Path for job.nc$' handover.console; do
  tries=$((tries + 1))
  [ "$tries" -le 200 ] || fail "the viewer did not start within 20 s: $(cat handover.console)"
  sleep 0.1
done
running=$(readlink "/proc/$viewer/exe" || true)
[ "$running" = "$bin/Kerfdisplay" ] || fail "toolpath started '$running', not $bin/Kerfdisplay"
echo "package test passed"
