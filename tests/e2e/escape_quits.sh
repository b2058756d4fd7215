#!/usr/bin/env bash
# The real show under an X server: frames appear, and Escape ends it at once
# with exit code 0.
. "$(dirname "$0")/lib.bash"
start_x
use_disk_audio
"$TAVIMO" &
pid=$!
sleep 10
kill -0 $pid 2>/dev/null || { wait $pid; fail "the show ended early with exit code $?"; }
screenshot "$SCRATCH/at10s.png"
max=$(convert "$SCRATCH/at10s.png" -format '%[fx:maxima]' info:)
[ "$max" != 0 ] || fail "the screen is uniformly black 10 s in"
xdotool key Escape
wait_exit $pid 50
[ "$EXIT_CODE" = 0 ] || fail "after Escape: $EXIT_CODE (expected exit code 0 within 0.5 s)"
echo "ok: frames on screen (brightest channel $max), Escape gave exit code 0"
