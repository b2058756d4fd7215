#!/usr/bin/env bash
# The packed release under Wine (make release-windows; make release-windows64
# where this kernel cannot run 32-bit programs): tavimo-64k.exe plays the
# whole show as wine_show.sh checks the unpacked build, with its music
# compared the same way, and each screenshot, taken at the same show time
# as wine_show.sh takes the unpacked build's, is nearest to the unpacked
# build's of the same scene. Screenshots are kept in
# $TAVIMO_BUILD_DIR/wine-packed-shots/. The first argument is not used.
set -u
SOURCE_DIR=${TAVIMO_SOURCE_DIR:-$(cd "$(dirname "$0")/../.." && pwd)}
BUILD_DIR=${TAVIMO_BUILD_DIR:-$SOURCE_DIR/build}
SHOTS=$BUILD_DIR/wine-packed-shots
mkdir -p "$SHOTS"
WINE_BUILDS="build-release-win32 build-release-win64" WINE_PROGRAM=tavimo-64k.exe WINE_SHOTS=$SHOTS \
  bash "$(dirname "$0")/wine_show.sh" "$@"
rc=$?
[ "$rc" = 0 ] || exit "$rc"

UNPACKED=$BUILD_DIR/wine-shots
if [ ! -f "$UNPACKED/tube.png" ]; then
  echo "note: no screenshots of the unpacked build to compare with (wine_show.sh keeps them in $UNPACKED)"
  exit 0
fi
scenes="opening swarm raytracer tube"
for scene in $scenes; do
  nearest="" best=""
  for other in $scenes; do
    d=$(compare -metric MAE "$SHOTS/$scene.png" "$UNPACKED/$other.png" null: 2>&1 | sed 's/.*(\(.*\))/\1/')
    echo "packed $scene against unpacked $other: mean difference $d"
    if [ -z "$best" ] || python3 -c "import sys; sys.exit(0 if float(sys.argv[1]) < float(sys.argv[2]) else 1)" "$d" "$best"; then
      best=$d nearest=$other
    fi
  done
  [ "$nearest" = "$scene" ] || { echo "FAIL: the packed show's $scene screen is nearest to the unpacked $nearest screen" >&2; exit 1; }
done
echo "ok: each packed screen is nearest to the unpacked build's screen of the same scene"
