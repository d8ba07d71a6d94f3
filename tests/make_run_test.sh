#!/bin/sh
# make run without a display, on a tree that is already configured: status 0, one line that is
# the built-in clock (h:nn), one line about TamoZP, and no window started.
#   make_run_test.sh SOURCE-FOLDER BUILD-FOLDER
set -u
source=$1 build=$2
home=$(mktemp -d) || exit 1
trap 'rm -rf "$home"' EXIT
mkdir -m 700 "$home/config" "$home/runtime"

# The make that runs ctest (make test) must not hand its job server to this one.
env -u DISPLAY -u WAYLAND_DISPLAY -u MAKEFLAGS -u MFLAGS -u MAKELEVEL \
    XDG_CONFIG_HOME="$home/config" XDG_RUNTIME_DIR="$home/runtime" TZ=UTC \
    make -s -C "$source" run BUILD="$build" >"$home/out" 2>&1
status=$?
# The build's progress lines ("[ 42%] Built target TamoZP") aside.
grep -vE '^\[ *[0-9]+%\]' "$home/out" >"$home/said"
clock=$(grep -cE '^[0-9]{1,2}:[0-9]{2}$' "$home/said")
about=$(grep -c 'TamoZP' "$home/said")
desktop=$(grep -c '^make run: .*TamoZP.* needs a desktop' "$home/said")
if [ "$status" -ne 0 ] || [ "$clock" -ne 1 ] || [ "$about" -ne 1 ] || [ "$desktop" -ne 1 ]; then
    echo "status $status, $clock clock lines, $about lines naming TamoZP ($desktop saying it needs a desktop):"
    cat "$home/out"
    exit 1
fi
