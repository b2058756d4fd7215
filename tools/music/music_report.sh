#!/usr/bin/env bash
# music_report.sh -- regenerates the soundtrack, checks it against the
# committed module, renders it through the show's own player and mixer and
# measures it: sizes (raw and xz -9e), clipping, peak, RMS per section, the
# longest near-silence, sox statistics and a spectrogram picture.
#
# Usage: tools/music/music_report.sh [OUT_DIR]   (default build/music_report)
# BUILD=dir selects the build directory (default build); UPDATE_PREVIEW=1
# also writes the small spectrogram to assets/preview/music_sonogram.png.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${BUILD:-$root/build}
out=${1:-$build/music_report}
mkdir -p "$out"

cmake --build "$build" --target tavimo-gen-music tavimo-render-music >/dev/null
"$build/tavimo-gen-music" "$out/module.xm"
if cmp -s "$out/module.xm" "$root/assets/module_data.xm"; then
    echo "generator output matches assets/module_data.xm"
else
    echo "generator output DIFFERS from assets/module_data.xm"
fi
echo "module: $(stat -c %s "$out/module.xm") bytes, xz -9e: $(xz -9e -c "$out/module.xm" | wc -c) bytes"

echo "--- rendered through the show's player and mixer (tavimo-render-music)"
wav="$out/engine.wav"
label="the show's own player and mixer"
"$build/tavimo-render-music" "$wav"
echo "--- sox stats of $(basename "$wav")"
sox "$wav" -n stats 2>&1
sox "$wav" -n remix 1,2 rate 22050 spectrogram -x 1200 -y 257 -z 90 \
    -t "tavimo soundtrack, $label" -o "$out/spectrogram.png"
echo "spectrogram: $out/spectrogram.png"
if [ "${UPDATE_PREVIEW:-0}" = 1 ]; then
    sox "$wav" -n remix 1,2 rate 22050 spectrogram -x 800 -y 200 -z 80 \
        -t "tavimo soundtrack, $label" -o "$out/spectrogram_small.png"
    convert "$out/spectrogram_small.png" -colors 24 -strip \
        "PNG8:$root/assets/preview/music_sonogram.png"
    echo "updated assets/preview/music_sonogram.png"
fi
