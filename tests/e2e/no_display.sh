#!/usr/bin/env bash
# Without a display the show ends with exit code 2 instead of running unseen.
. "$(dirname "$0")/lib.bash"
env -u DISPLAY -u WAYLAND_DISPLAY SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$SCRATCH/a.raw" \
  timeout 20 "$TAVIMO" 2>/dev/null
code=$?
[ "$code" = 2 ] || fail "exit code $code without a display, expected 2"
echo "ok: exit code 2 without a display"
