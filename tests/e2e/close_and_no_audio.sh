#!/usr/bin/env bash
# A close request from the window manager ends the show with exit code 0;
# with no audio device the show ends with exit code 3.
. "$(dirname "$0")/lib.bash"
start_x
need_python_xlib
use_disk_audio
LD_PRELOAD="$PROBE" TAVIMO_PRESENT_LOG="$PRESENTS" "$TAVIMO" &
pid=$!
wait_first_present $pid 60
sleep_until 2000 "$SHOW_T0"
ask_to_quit $pid "close request 2 s into the show" $ANALYSE close-window
echo "ok: close request: $QUIT_NOTE"

SDL_AUDIODRIVER=no-such-driver timeout 20 "$TAVIMO"
code=$?
[ "$code" = 3 ] || fail "no audio device: exit code $code, expected 3"
echo "ok: no audio device gave exit code 3"
