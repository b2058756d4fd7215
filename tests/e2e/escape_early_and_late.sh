#!/usr/bin/env bash
# Escape during the start-up wait ends the show at its first presentation
# (about 3 s after start, before any frame is shown); Escape during the
# show ends it at once. Both give exit code 0 and release the screen.
. "$(dirname "$0")/lib.bash"
start_x
use_disk_audio

start=$(now_ms)
LD_PRELOAD="$PROBE" TAVIMO_PRESENT_LOG="$PRESENTS" "$TAVIMO" &
pid=$!
sleep_until 1000 "$start"
# The key reaches the show only once its window is mapped.
for _ in $(seq 100); do window_exists && break; sleep 0.02; done
xdotool search --sync --onlyvisible --name '^tavimo$' >/dev/null
pressed=$(( $(now_ms) - start ))
xdotool key Escape
wait_exit $pid 1500
[ "$EXIT_CODE" = 0 ] || fail "Escape at $pressed ms: $EXIT_CODE (expected exit code 0 by the first frame)"
elapsed=$(( $(now_ms) - start ))
# On the show's own clock: it stops at its first presentation. Where the
# window came up only after the start-up wait (a slow start), the key came
# during the show, and frames must have stopped within 0.5 s of it.
frames=$(present_count)
if [ "$frames" -gt 1 ]; then
  last=$(( $(present_ms -1) - start ))
  [ "$last" -le $((pressed + 500)) ] ||
    fail "Escape at $pressed ms: frames were presented until $last ms ($frames frames)"
fi
window_exists && fail "the window is still there after Escape"
echo "ok: Escape at $pressed ms, $frames frame(s) presented, exit code 0 at $elapsed ms"

rm -f "$PRESENTS"
LD_PRELOAD="$PROBE" TAVIMO_PRESENT_LOG="$PRESENTS" "$TAVIMO" &
pid=$!
wait_first_present $pid 60
sleep_until 57000 "$SHOW_T0"
kill -0 $pid 2>/dev/null || fail "the show ended before 57 s of show"
ask_to_quit $pid "Escape 57 s into the show"
window_exists && fail "the window is still there after Escape"
echo "ok: Escape 57 s into the show: $QUIT_NOTE"
