#!/usr/bin/env bash
# The real show under an X server: frames appear, and Escape ends it at once
# with exit code 0.
. "$(dirname "$0")/lib.bash"
start_x
use_disk_audio
LD_PRELOAD="$PROBE" TAVIMO_PRESENT_LOG="$PRESENTS" "$TAVIMO" &
pid=$!
wait_first_present $pid 60
sleep_until 6000 "$SHOW_T0"
kill -0 $pid 2>/dev/null || { wait $pid; fail "the show ended early with exit code $?"; }
screenshot "$SCRATCH/at6s.png"
max=$(convert "$SCRATCH/at6s.png" -format '%[fx:maxima]' info:)
[ "$max" != 0 ] || fail "the screen is uniformly black 6 s into the show"
ask_to_quit $pid "Escape 6 s into the show"
echo "ok: frames on screen (brightest channel $max), Escape: $QUIT_NOTE"
