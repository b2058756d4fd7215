#!/usr/bin/env bash
# The packed release under Wine (make release-windows; make release-windows64
# where this kernel cannot run 32-bit programs): tavimo-64k.exe plays the
# whole show as wine_show.sh checks the unpacked build, with its music
# compared the same way, and each screenshot, taken at the same show time
# as wine_show.sh takes the unpacked build's, shows its scene as the
# end-to-end checks recognise it. Screenshots are kept in
# $TAVIMO_BUILD_DIR/wine-packed-shots/. The first argument is not used.
set -u
SOURCE_DIR=${TAVIMO_SOURCE_DIR:-$(cd "$(dirname "$0")/../.." && pwd)}
BUILD_DIR=${TAVIMO_BUILD_DIR:-$SOURCE_DIR/build}
SHOTS=$BUILD_DIR/wine-packed-shots
mkdir -p "$SHOTS"
WINE_BUILDS="${TAVIMO_RELEASE_WIN32_BUILD_DIR:-$SOURCE_DIR/build-release-win32} ${TAVIMO_RELEASE_WIN64_BUILD_DIR:-$SOURCE_DIR/build-release-win64}" \
  WINE_PROGRAM=tavimo-64k.exe WINE_SHOTS=$SHOTS \
  bash "$(dirname "$0")/wine_show.sh" "$@"
rc=$?
[ "$rc" = 0 ] || exit "$rc"

# Each screenshot has its scene's properties on screen (analyse.py): they
# hold for the whole scene, so a second or two of Wine's start-up jitter
# between the two runs does not matter; the unpacked build's screenshots,
# where wine_show.sh left them, are held to the same checks.
UNPACKED=$BUILD_DIR/wine-shots
declare -A check=([opening]=opening [swarm]=swarm [raytracer]=mirror [tube]=tunnel)
for scene in opening swarm raytracer tube; do
  python3 "$(dirname "$0")/analyse.py" "${check[$scene]}" "$SHOTS/$scene.png" \
    || { echo "FAIL: the packed show's $scene screen" >&2; exit 1; }
  if [ -f "$UNPACKED/$scene.png" ]; then
    python3 "$(dirname "$0")/analyse.py" "${check[$scene]}" "$UNPACKED/$scene.png" >/dev/null \
      || echo "note: the unpacked build's $scene screen fails the same check"
  fi
done
[ -f "$UNPACKED/tube.png" ] \
  || echo "note: no screenshots of the unpacked build beside them (wine_show.sh keeps them in $UNPACKED)"
echo "ok: the packed show's screens have their scenes' properties"
