#!/usr/bin/env bash
# The Windows display and sound layers under Wine: without a sound device the
# show ends with exit code 3; tavimo-layer-tests.exe checks the layers one by
# one and shows a test pattern that must reach the screen pixel for pixel;
# Escape ends the show at once with exit code 0; and on a screen that cannot
# take a 320x200 mode the show ends with exit code 2. The first argument
# (the SDL2 build) is not used.
. "$(dirname "$0")/wine_lib.bash"

# 1. No sound device (ALSA without a configured device, no sound card).
HOME=$SCRATCH/no-sound
mkdir -p "$HOME"
run_show 60
[ "$EXIT_CODE" = 3 ] || fail "without a sound device: exit code $EXIT_CODE (expected 3)"
echo "ok: exit code 3 without a sound device"
HOME=$SCRATCH/home

# 2. The layers one by one, and the pattern on screen.
LAYER_TESTS=$WIN_BUILD/tavimo-layer-tests.exe
[ -f "$LAYER_TESTS" ] || fail "$LAYER_TESTS is missing (built with the Windows build)"
"$LOADER" "$LAYER_TESTS" "Z:$SCRATCH/pattern.ppm" >"$SCRATCH/layers.log" 2>"$SCRATCH/layers.err" &
SHOW_PID=$!
for _ in $(seq 600); do
  grep -q "pattern on screen" "$SCRATCH/layers.log" && break
  kill -0 "$SHOW_PID" 2>/dev/null || break
  sleep 0.1
done
if grep -q "pattern on screen" "$SCRATCH/layers.log"; then
  sleep 1
  screenshot "$SHOTS/pattern.png"
  differing=$(compare -metric AE "$SCRATCH/pattern.ppm" "$SHOTS/pattern.png" null: 2>&1)
  [ "$differing" = 0 ] || PATTERN_FAIL="$differing pixels of the test pattern differ on screen"
fi
wait_exit 60
cat "$SCRATCH/layers.log"
[ "$EXIT_CODE" = 0 ] || fail "tavimo-layer-tests: exit code $EXIT_CODE: $(tail -5 "$SCRATCH/layers.err")"
grep -q "pattern on screen" "$SCRATCH/layers.log" || fail "the test pattern was not shown"
[ -z "${PATTERN_FAIL:-}" ] || fail "$PATTERN_FAIL"
echo "ok: the test pattern is on screen pixel for pixel"

# 3. Escape ends the show at once.
start_show
wait_show_time 1000
xdotool key Escape
pressed=$(now)
wait_exit 15
[ "$EXIT_CODE" = 0 ] || fail "after Escape: exit code $EXIT_CODE (expected 0)"
echo "ok: Escape ended the show with exit code 0 after $(since "$pressed") s"

# 4. A screen that cannot be switched to 320x200: the mode is refused at 32,
# 24 and 16 bits, and start-up ends with exit code 2.
"$WINESERVER" -k 2>/dev/null; "$WINESERVER" -w 2>/dev/null
kill "$XVFB_PID" 2>/dev/null
start_x 1024x768x24
run_show 60
[ "$EXIT_CODE" = 2 ] || fail "on a screen without a 320x200 mode: exit code $EXIT_CODE (expected 2)"
echo "ok: exit code 2 when the display mode is refused"
