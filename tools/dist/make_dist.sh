#!/usr/bin/env bash
# make_dist.sh -- the release archive from builds already made (`make dist`
# makes them first): build-dist/tavimo-VERSION/ and tavimo-VERSION.zip with
# the packed shows for Windows and Linux, the web show and the module
# player as one page each, the show as a video with its first frame and a
# screenshot per scene, tavimo.txt and SHA256SUMS (tools/dist/release_text.py
# lists the files). Prints one line per step; a failure names what failed.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
cd "$ROOT"
fail() { echo "make dist: $*" >&2; exit 1; }

version=$(tools/dist/version.sh)
name=tavimo-$version
out=build-dist/$name
for input in build-release-win32/tavimo-64k.exe build-release/tavimo-64k build/tavimo-capture \
             build-web/index.html build-web/player.html build-web/single/tavimo.js \
             build-web/single/tavimo-player.js build-web/player.js; do
  [ -f "$input" ] || fail "$input is missing (make dist builds it)"
done
rm -rf build-dist
mkdir -p "$out"

cp build-release-win32/tavimo-64k.exe build-release/tavimo-64k "$out/"
chmod 755 "$out/tavimo-64k"
tools/dist/one_page.py build-web/index.html "$out/tavimo.html" build-web/single build-web
tools/dist/one_page.py build-web/player.html "$out/player.html" build-web/single build-web \
  --link index.html=tavimo.html
echo "make dist: the executables and the pages"

# The show's picture (the opening picture once faded in: the first frame
# is black) and one per scene, from the offline renderer: exactly the
# pixels the show draws, each a 4x4 block as in the video.
shots=build-dist/shots
build/tavimo-capture --png "$shots" --at 12000,20000,53000,90000,145000 --scale 4 ||
  fail "tavimo-capture could not write the screenshots"
cp "$shots/frame-012000.png" "$out/tavimo.png"
cp "$shots/frame-020000.png" "$out/tavimo-opening.png"
cp "$shots/frame-053000.png" "$out/tavimo-swarm.png"
cp "$shots/frame-090000.png" "$out/tavimo-raytracer.png"
cp "$shots/frame-145000.png" "$out/tavimo-tube.png"
rm -rf "$shots"
echo "make dist: the screenshots"

# The video takes minutes to encode: it is kept in build/ with the hash of
# the renderer that made it, and made again only when that changes.
key=$(sha256sum build/tavimo-capture | cut -d' ' -f1)
if [ "$(cat build/dist-video.key 2>/dev/null)" != "$key" ] || [ ! -f build/dist-video.mp4 ]; then
  echo "make dist: rendering the video (a few minutes)"
  rm -f build/dist-video.key
  build/tavimo-capture --video build/dist-video.mp4 >/dev/null || fail "tavimo-capture could not write the video"
  echo "$key" >build/dist-video.key
fi
cp build/dist-video.mp4 "$out/tavimo.mp4"

tools/dist/release_text.py "$out" "$version" || fail "tavimo.txt could not be written"
(cd "$out" && LC_ALL=C ls | grep -vx SHA256SUMS | xargs sha256sum >SHA256SUMS)

# The archive's dates are the commit's, so one commit gives one archive.
stamp=$(git log -1 --format=%ct 2>/dev/null || echo 0)
find "$out" -exec touch -h -d "@$stamp" {} +
(cd build-dist && zip -q -X -r -D "$name.zip" "$name") || fail "zip could not write the archive"
echo "make dist: build-dist/$name.zip ($(stat -c %s "build-dist/$name.zip") bytes)"
