#!/usr/bin/env bash
# The packed release under Wine passes the show's exit codes through: 3
# without a sound device, 0 when Escape ends the show; and a copy with one
# byte of its payload changed ends with exit code 1 before anything of the
# show runs (no window). The first argument is not used.
SOURCE_DIR=${TAVIMO_SOURCE_DIR:-$(cd "$(dirname "$0")/../.." && pwd)}
WINE_BUILDS="${TAVIMO_RELEASE_WIN32_BUILD_DIR:-$SOURCE_DIR/build-release-win32} ${TAVIMO_RELEASE_WIN64_BUILD_DIR:-$SOURCE_DIR/build-release-win64}"
WINE_PROGRAM=tavimo-64k.exe
. "$(dirname "$0")/wine_lib.bash"

# 1. No sound device.
HOME=$SCRATCH/no-sound
mkdir -p "$HOME"
run_show 60
[ "$EXIT_CODE" = 3 ] || fail "without a sound device: exit code $EXIT_CODE (expected 3)"
echo "ok: exit code 3 without a sound device"
HOME=$SCRATCH/home

# 2. Escape.
start_show
wait_show_time 1000
xdotool key Escape
pressed=$(now)
wait_exit 15
[ "$EXIT_CODE" = 0 ] || fail "after Escape: exit code $EXIT_CODE (expected 0)"
echo "ok: Escape ended the packed show with exit code 0 after $(since "$pressed") s"

# 3. Damaged payloads: a byte near the start, the middle and the end of the
# payload (where the unpack table, found by its magic words, says) changed.
payload=$(python3 -c "
import struct, sys
d = open(sys.argv[1], 'rb').read()
table = d.index(b'packlive')
address, size = struct.unpack_from('<II', d, table + 12)
nt = struct.unpack_from('<I', d, 0x3c)[0]
n, opt = struct.unpack_from('<H', d, nt + 6)[0], struct.unpack_from('<H', d, nt + 20)[0]
for i in range(n):
    va, rsize, raw = struct.unpack_from('<III', d, nt + 24 + opt + 40 * i + 12)
    if va <= address < va + rsize:
        print(raw + address - va, size)" "$EXE")
read -r start size <<<"$payload"
for at in $((start + 20)) $((start + size / 2)) $((start + size - 300)); do
  cp "$EXE" "$SCRATCH/damaged.exe"
  python3 -c "
import sys
with open(sys.argv[1], 'r+b') as f:
    f.seek(int(sys.argv[2])); b = f.read(1); f.seek(int(sys.argv[2])); f.write(bytes([b[0] ^ 0x5a]))" \
    "$SCRATCH/damaged.exe" "$at"
  "$LOADER" "$SCRATCH/damaged.exe" >"$SCRATCH/damaged.log" 2>&1 &
  SHOW_PID=$!
  wait_exit 60
  [ "$EXIT_CODE" = 1 ] || fail "payload byte at file offset $at changed: exit code $EXIT_CODE (expected 1)"
  ! xdotool search --name "^tavimo\$" >/dev/null 2>&1 || fail "the damaged file opened the show's window"
done
echo "ok: damaged copies end with exit code 1"
