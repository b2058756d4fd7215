#!/usr/bin/env bash
# The packed release run as a user runs it, under an X server with SDL's disk
# audio: the program the stub starts is build-release/tavimo byte for byte,
# its unpacked file is already deleted while it runs, frames appear, the
# sound is the silent ring and then music (once the show has a sound
# layer), Escape gives exit
# code 0, and no file is left behind. Without a display it passes on the
# show's exit code 2.
. "$(dirname "$0")/lib.bash"
. "$(dirname "$0")/release_lib.bash"
mkdir "$SCRATCH/tmp"
export TMPDIR=$SCRATCH/tmp

# Exit codes pass through: no display gives the show's 2.
env -u DISPLAY -u WAYLAND_DISPLAY SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$SCRATCH/a.raw" \
  timeout 20 "$PACKED" 2>/dev/null
code=$?
[ "$code" = 2 ] || fail "exit code $code without a display, expected the show's 2"
[ -z "$(ls -A "$TMPDIR")" ] || fail "left behind without a display: $(ls "$TMPDIR")"

start_x
use_disk_audio
(cd "$SCRATCH" && exec "$PACKED") &
pid=$!

# The stub execs the show in its own process: wait until it has.
for _ in $(seq 500); do
  exe=$(readlink "/proc/$pid/exe" 2>/dev/null) || break
  case $exe in */sh|*/dash|*/bash) sleep 0.01 ;; *) break ;; esac
done
case $exe in
  *" (deleted)") ;;
  "") wait $pid; fail "tavimo-64k ended at once with exit code $?" ;;
  *) fail "the running program is $exe, not a deleted unpacked file" ;;
esac
cmp "/proc/$pid/exe" "$UNPACKED" || fail "the program the stub runs is not build-release/tavimo"
[ -z "$(ls -A "$TMPDIR")" ] || fail "files in TMPDIR while the show runs: $(ls "$TMPDIR")"

sleep 8
kill -0 $pid 2>/dev/null || { wait $pid; fail "the show ended early with exit code $?"; }
screenshot "$SCRATCH/at8s.png"
max=$(convert "$SCRATCH/at8s.png" -format '%[fx:maxima]' info:)
[ "$max" != 0 ] || fail "the screen is uniformly black 8 s in"
xdotool key Escape
wait_exit $pid 50
[ "$EXIT_CODE" = 0 ] || fail "after Escape: $EXIT_CODE (expected exit code 0 within 0.5 s)"
[ -z "$(ls -A "$TMPDIR")" ] || fail "left behind after Escape: $(ls "$TMPDIR")"

# The sound device plays a silent ring until the song starts 3 s in; 8 s
# in there are some 5 s of music (16-bit stereo at 44100 Hz).
if [ -e "$SOURCE_DIR/audio/waveout_sdl.cpp" ]; then
  [ -s "$SCRATCH/audio.raw" ] || fail "no sound was written"
  read -r head_peak peak seconds < <(python3 -c '
import array, sys
data = open(sys.argv[1], "rb").read()
a = array.array("h", data[: len(data) // 2 * 2])
half = 44100  # half a second of stereo frames
print(max(map(abs, a[:half]), default=0), max(map(abs, a), default=0), len(a) // 88200)
' "$SCRATCH/audio.raw")
  [ "$seconds" -ge 4 ] || fail "only $seconds s of sound were written in 8 s"
  [ "$head_peak" = 0 ] || fail "the first half second of sound is not silence (peak $head_peak)"
  [ "$peak" -gt 300 ] || fail "the sound is silence (peak $peak over $seconds s)"
  sound="$seconds s of sound, silent start then music (peak $peak)"
else
  sound="no sound layer in this tree yet: sound not checked"
fi
echo "ok: ran build-release/tavimo from a deleted file, frames on screen (brightest" \
  "channel $max), $sound, Escape gave 0, nothing left behind"
