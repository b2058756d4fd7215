#!/usr/bin/env bash
# Escape during the start-up wait ends the show at its first presentation
# (about 3.1 s after start, before any frame is shown); Escape during the
# show ends it at once. Both give exit code 0 and release the screen.
. "$(dirname "$0")/lib.bash"
start_x
use_disk_audio

start=$(now_ms)
"$TAVIMO" &
pid=$!
sleep_until 1000 "$start"
# The key reaches the show only once its window is mapped.
for _ in $(seq 100); do window_exists && break; sleep 0.02; done
xdotool search --sync --onlyvisible --name '^tavimo$' >/dev/null
pressed=$(( $(now_ms) - start ))
xdotool key Escape
wait_exit $pid 400
[ "$EXIT_CODE" = 0 ] || fail "Escape at 1 s: $EXIT_CODE (expected exit code 0 by the first frame)"
elapsed=$(( $(now_ms) - start ))
[ "$elapsed" -le 4000 ] || fail "Escape at 1 s took effect only after $elapsed ms"
window_exists && fail "the window is still there after Escape"
echo "ok: Escape at $pressed ms, exit code 0 at $elapsed ms"

start=$(now_ms)
"$TAVIMO" &
pid=$!
sleep_until 60000 "$start"
kill -0 $pid 2>/dev/null || fail "the show ended before 60 s"
xdotool key Escape
wait_exit $pid 50
[ "$EXIT_CODE" = 0 ] || fail "Escape at 60 s: $EXIT_CODE (expected exit code 0 within 0.5 s)"
window_exists && fail "the window is still there after Escape"
echo "ok: Escape at 60 s, exit code 0 within 0.5 s"
