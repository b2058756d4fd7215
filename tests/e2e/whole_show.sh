#!/usr/bin/env bash
# The whole show as a user sees and hears it: the real program under an X
# server, with SDL's disk audio recording what it plays. Its first frame
# comes about 3 s after start; 153 s of show later it ends by itself with
# exit code 0. Screenshots, timed on the show's own clock (from its first
# frame), show each scene that the timeline puts there (the swarm 5 s into
# its scene, once its fade from white is over); the recording is silent for
# about 3 s, then carries the offline capture's music sample for sample.
. "$(dirname "$0")/lib.bash"
start_x
use_disk_audio
start=$(now_ms)
LD_PRELOAD="$PROBE" TAVIMO_PRESENT_LOG="$PRESENTS" "$TAVIMO" &
pid=$!
wait_first_present $pid 60
echo "first frame $((SHOW_T0 - start)) ms after start"
for t in 4 17 53 87 142; do
  sleep_until $((t * 1000)) "$SHOW_T0"
  kill -0 $pid 2>/dev/null || fail "the show ended before $t s of show"
  screenshot "$SCRATCH/at$t.png"
done
# The show's length on its own clock: from its first frame to its exit. The
# timeline ends 153 s after the first frame; the exit after it (closing the
# window and the sound device) may take a while on a busy machine.
wait_exit $pid 3000
ended=$(now_ms)
[ "$EXIT_CODE" = 0 ] || fail "exit code $EXIT_CODE after $((ended - SHOW_T0)) ms of show"
shown=$(( $(present_ms -1) - SHOW_T0 ))
[ "$shown" -ge 152000 ] && [ "$shown" -le 155000 ] ||
  fail "frames were presented for $shown ms, expected 153000 (152000..155000)"
[ $((ended - SHOW_T0)) -le 160000 ] ||
  fail "the show ended $((ended - SHOW_T0)) ms after its first frame, expected 153000..160000"
echo "ok: exit code 0; frames for $shown ms, ended $((ended - SHOW_T0)) ms after the first" \
  "($((ended - start)) ms after start)"

# Frame pacing, from the time of every present (reported, not judged).
/usr/bin/python3 - "$PRESENTS" <<'PY'
import struct, sys
data = open(sys.argv[1], "rb").read()
stamps = struct.unpack(f"<{len(data) // 8}q", data[:len(data) // 8 * 8])
gaps = [(b - a) / 1e6 for a, b in zip(stamps, stamps[1:])]
if gaps:
    seconds = (stamps[-1] - stamps[0]) / 1e9
    slow = sum(1 for g in gaps if g > 50)
    print(f"frames: {len(stamps)} in {seconds:.1f} s, {len(stamps) / seconds:.1f} per second; "
          f"longest {max(gaps):.1f} ms; {slow} longer than 50 ms")
PY

$ANALYSE opening "$SCRATCH/at4.png" || exit 1
$ANALYSE band "$SCRATCH/at17.png" || exit 1
$ANALYSE swarm "$SCRATCH/at53.png" || exit 1
$ANALYSE mirror "$SCRATCH/at87.png" || exit 1
$ANALYSE tunnel "$SCRATCH/at142.png" || exit 1
window_exists && fail "the window is still there after the show ended"

capture="$(dirname "$TAVIMO")/tavimo-capture"
"$capture" --wav "$SCRATCH/capture.wav" || fail "tavimo-capture failed"
# TAVIMO_KEEP_AUDIO=DIR keeps both for a closer look.
[ -n "${TAVIMO_KEEP_AUDIO:-}" ] && cp "$SDL_DISKAUDIOFILE" "$SCRATCH/capture.wav" "$TAVIMO_KEEP_AUDIO/"
$ANALYSE audio "$SDL_DISKAUDIOFILE" "$SCRATCH/capture.wav" || exit 1
