#!/usr/bin/env bash
# The installed library as another program sees it: a fresh `cmake --install`
# into a temporary prefix, examples/render_wav.c built there with the C
# compiler and pkg-config alone, a corpus module rendered with it and with
# tavimo-xm (the same bytes), and the rows it reports held to the frames the
# replay engine enters them at (rows_probe).
#
#   install_test.sh BUILD_DIR TAVIMO_XM ROWS_PROBE [CFLAGS...]
# CFLAGS: what the build's objects need at link time (the sanitizers).
set -euo pipefail
build=$1 xm=$2 probe=$3
shift 3
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/../.." && pwd)
corpus=${TAVIMO_XM_CORPUS:-$source_dir/../shared/xm-corpus}
module=$corpus/heroes-heroes03.xm
[ -f "$module" ] || module=$(ls "$corpus"/*.xm 2>/dev/null | head -1 || true)
if [ -z "$module" ] || [ ! -f "$module" ]; then
  echo "install_test: no XM corpus in $corpus (TAVIMO_XM_CORPUS); skipped"
  exit 77
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cmake --install "$build" --prefix "$work/prefix" >"$work/install.log"
export PKG_CONFIG_PATH=$work/prefix/lib/pkgconfig
for f in lib/libtavimo-xm.a include/tavimo_xm.h lib/pkgconfig/tavimo-xm.pc; do
  [ -f "$work/prefix/$f" ] || { echo "install_test: $f not installed"; exit 1; }
done

version=$(pkg-config --modversion tavimo-xm)
[ "$version" = "$(head -1 "$source_dir/VERSION")" ] || { echo "install_test: version $version"; exit 1; }

# The example as a user builds it: nothing from the source tree but the file.
cc -std=c99 -pedantic -Wall -Wextra -Werror "$@" "$source_dir/examples/render_wav.c" -o "$work/render_wav" \
  $(pkg-config --cflags --libs tavimo-xm)

# The engine's own names stay inside the archive.
if nm -g --defined-only "$work/prefix/lib/libtavimo-xm.a" | grep -v ' tavimo_xm_' | grep -q ' [A-Z] '; then
  echo "install_test: the archive exports names besides tavimo_xm_*:"
  nm -g --defined-only "$work/prefix/lib/libtavimo-xm.a" | grep -v ' tavimo_xm_' | grep ' [A-Z] ' | head
  exit 1
fi

echo "module: $module"
"$work/render_wav" "$module" "$work/api.wav" 2>"$work/rows.txt"
"$xm" render "$module" "$work/xm.wav" >/dev/null
cmp "$work/api.wav" "$work/xm.wav"
echo "same WAV as tavimo-xm render: $(stat -c %s "$work/api.wav") bytes"

"$probe" "$module" >"$work/engine_rows.txt"
if ! diff -q "$work/engine_rows.txt" "$work/rows.txt" >/dev/null; then
  echo "install_test: reported rows differ from the engine's:"
  diff "$work/engine_rows.txt" "$work/rows.txt" | head -20
  exit 1
fi
echo "rows reported at the engine's frames: $(wc -l <"$work/rows.txt")"

# A file that is no module: the one-line reason and exit code 1, no crash.
printf 'not a module' >"$work/bad.xm"
code=0
"$work/render_wav" "$work/bad.xm" "$work/bad.wav" 2>"$work/bad.txt" || code=$?
[ "$code" = 1 ] && grep -qx "render_wav: $work/bad.xm: not an XM module" "$work/bad.txt" || {
  echo "install_test: bad file gave exit $code: $(cat "$work/bad.txt")"; exit 1; }
