#!/usr/bin/env bash
# The packed release: at most 65536 bytes, built from the same sources as the
# show under test, and its payload unpacks, by the stub's own command, to the
# uncompressed release build byte for byte. A damaged payload fails with
# exit code 1 and leaves no file behind.
. "$(dirname "$0")/lib.bash"
. "$(dirname "$0")/release_lib.bash"

size=$(stat -c %s "$PACKED")
[ "$size" -le 65536 ] || fail "tavimo-64k is $size bytes, over the 65536-byte limit"

# Same sources: the release tree is built from this source tree (see
# release_lib.bash) and carries the same asset blob as the show under test.
blob=${TAVIMO_BUILD_DIR:-$(dirname "$TAVIMO")}/asset_blob.bin
cmp -s "$blob" "$RELEASE_DIR/asset_blob.bin" ||
  fail "the release build's asset blob differs from $blob"

# The stub is two lines; its second line unpacks what follows with the
# command between "|" and ">".
[ "$(head -n1 "$PACKED")" = '#!/bin/sh' ] || fail "tavimo-64k does not start with #!/bin/sh"
unpack=$(sed -n '2s/.*|\(xz [^>]*\)>.*/\1/p' "$PACKED")
[ -n "$unpack" ] || fail "no xz command in the stub's second line"
tail -n+3 "$PACKED" | $unpack >"$SCRATCH/unpacked" || fail "'$unpack' failed on the payload"
cmp "$SCRATCH/unpacked" "$UNPACKED" ||
  fail "the payload does not unpack to build-release/tavimo"
[ -x "$PACKED" ] || fail "tavimo-64k is not executable"

# Only the system's SDL2, libm and libc (and the loader) are needed.
needed=$(LC_ALL=C readelf -d "$UNPACKED" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' | sort | tr '\n' ' ')
[ "$needed" = "libSDL2-2.0.so.0 libc.so.6 libm.so.6 " ] ||
  [ "$needed" = "libSDL2-2.0.so.0 libc.so.6 " ] ||
  fail "the release build needs: $needed"

# A damaged payload, cut short or with one byte changed: the stub's exit
# code 1 (the streams' checksums catch the change), the temporary file gone.
mkdir "$SCRATCH/tmp"
head -c $((size - 2000)) "$PACKED" >"$SCRATCH/short"
cp "$PACKED" "$SCRATCH/changed"
printf '\x5a' | dd of="$SCRATCH/changed" bs=1 seek=$((size / 2)) conv=notrunc 2>/dev/null
cmp -s "$PACKED" "$SCRATCH/changed" && printf '\xa5' |
  dd of="$SCRATCH/changed" bs=1 seek=$((size / 2)) conv=notrunc 2>/dev/null
for broken in short changed; do
  chmod +x "$SCRATCH/$broken"
  TMPDIR=$SCRATCH/tmp DISPLAY= timeout 20 "$SCRATCH/$broken" 2>/dev/null
  code=$?
  [ "$code" = 1 ] || fail "a $broken payload gave exit code $code, not the stub's 1"
  [ -z "$(ls -A "$SCRATCH/tmp")" ] || fail "a $broken payload left $(ls "$SCRATCH/tmp")"
done
# Without xz on the path the stub cannot unpack: exit code 1, nothing left.
mkdir "$SCRATCH/bin"
for tool in sh mktemp tail chmod rm; do ln -s "$(command -v $tool)" "$SCRATCH/bin/$tool"; done
TMPDIR=$SCRATCH/tmp DISPLAY= timeout 20 env PATH="$SCRATCH/bin" "$PACKED" 2>/dev/null
code=$?
[ "$code" = 1 ] || fail "without xz the stub gave exit code $code, not 1"
[ -z "$(ls -A "$SCRATCH/tmp")" ] || fail "without xz the stub left $(ls "$SCRATCH/tmp")"

echo "ok: tavimo-64k is $size bytes ($((65536 - size)) to spare), unpacks to build-release/tavimo," \
  "needs $needed; damaged copies and a missing xz exit 1 and leave nothing"
