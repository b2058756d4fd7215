#!/usr/bin/env bash
# A close request from the window manager ends the show with exit code 0;
# with no audio device the show ends with exit code 3.
. "$(dirname "$0")/lib.bash"
start_x
need_python_xlib
use_disk_audio
"$TAVIMO" &
pid=$!
sleep 5
$ANALYSE close-window || fail "could not send the close request"
wait_exit $pid 50
[ "$EXIT_CODE" = 0 ] || fail "close request: $EXIT_CODE (expected exit code 0 within 0.5 s)"
echo "ok: close request gave exit code 0"

SDL_AUDIODRIVER=no-such-driver timeout 20 "$TAVIMO"
code=$?
[ "$code" = 3 ] || fail "no audio device: exit code $code, expected 3"
echo "ok: no audio device gave exit code 3"
