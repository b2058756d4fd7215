#!/usr/bin/env bash
# The whole show as a user sees and hears it: the real program under an X
# server, with SDL's disk audio recording what it plays. It ends by itself
# with exit code 0 after about 153 s; screenshots show each scene that the
# timeline puts there; the recording is silent for about 3 s, then carries
# the music to the end, matching the offline capture's loudness.
. "$(dirname "$0")/lib.bash"
start_x
use_disk_audio
start=$(now_ms)
"$TAVIMO" &
pid=$!
for t in 5 20 50 51 90 145; do
  sleep_until $((t * 1000)) "$start"
  screenshot "$SCRATCH/at$t.png"
done
wait_exit $pid 2000
elapsed=$(( $(now_ms) - start ))
[ "$EXIT_CODE" = 0 ] || fail "exit code $EXIT_CODE after $elapsed ms"
[ "$elapsed" -ge 153000 ] && [ "$elapsed" -le 160000 ] ||
  fail "the show ended after $elapsed ms, expected 153000..160000"
echo "ok: exit code 0 after $elapsed ms"

$ANALYSE opening "$SCRATCH/at5.png" || exit 1
$ANALYSE band "$SCRATCH/at20.png" || exit 1
$ANALYSE swarm "$SCRATCH/at50.png" || exit 1
$ANALYSE mirror "$SCRATCH/at90.png" || exit 1
$ANALYSE tunnel "$SCRATCH/at145.png" || exit 1
window_exists && fail "the window is still there after the show ended"

# Frame rate: during the swarm the white level falls by one per frame, so
# the darkest rows darken by about the frame rate each second (reported only).
/usr/bin/python3 - "$SCRATCH/at50.png" "$SCRATCH/at51.png" <<'PY'
import subprocess, sys
def top(p):
    out = subprocess.run(["convert", p, "-sample", "320x200!", "-crop", "320x10+0+0",
                          "-format", "%[fx:mean*255]", "info:"], capture_output=True, text=True)
    return float(out.stdout or 0)
print(f"frame rate during the swarm: about {top(sys.argv[1]) - top(sys.argv[2]):.0f} frames per second")
PY

capture="$(dirname "$TAVIMO")/tavimo-capture"
"$capture" --wav "$SCRATCH/capture.wav" || fail "tavimo-capture failed"
$ANALYSE audio "$SDL_DISKAUDIOFILE" "$SCRATCH/capture.wav" || exit 1
