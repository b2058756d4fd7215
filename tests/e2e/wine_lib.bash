# wine_lib.bash -- shared set-up for the tests of the Windows build under
# Wine: the build to run and a Wine that can run it, a private 320x200 X
# server, an ALSA device that records into a file at the real rate, a fresh
# Wine prefix, and helpers to start the show and wait for it. Sourced, not
# run. A test exits 77 (skipped) where Wine, the tools or the build are
# missing.
#
# Runs build-win32/tavimo.exe, or build-win64/tavimo.exe where the kernel
# cannot run 32-bit programs (`make windows`, `make windows64`).
set -u
SOURCE_DIR=${TAVIMO_SOURCE_DIR:-$(cd "$(dirname "$0")/../.." && pwd)}
BUILD_DIR=${TAVIMO_BUILD_DIR:-$SOURCE_DIR/build}
SCRATCH=$(mktemp -d)
XVFB_PID=""
PACER_PID=""
SHOW_PID=""

skip() { echo "SKIP: $*" >&2; exit 77; }
fail() { echo "FAIL: $*" >&2; exit 1; }

cleanup() {
  [ -n "$SHOW_PID" ] && kill "$SHOW_PID" 2>/dev/null
  [ -n "${WINESERVER:-}" ] && WINEPREFIX="$SCRATCH/prefix" "$WINESERVER" -k 2>/dev/null
  [ -n "$PACER_PID" ] && kill "$PACER_PID" 2>/dev/null
  [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null
  rm -rf "$SCRATCH"
}
trap cleanup EXIT

for tool in Xvfb xdotool xwd convert python3; do
  command -v "$tool" >/dev/null || skip "$tool is not installed (tools/install-deps.sh installs it)"
done

# A Wine loader that can run here, and the build it runs: the 32-bit one
# where this kernel runs 32-bit programs, else the 64-bit one. WINE_BUILDS
# and WINE_PROGRAM name other builds and program to run (the packed
# release's two build trees, tavimo-64k.exe).
runs() { [ -x "$1" ] && "$1" --version >/dev/null 2>&1; }
read -r BUILD32 BUILD64 <<<"${WINE_BUILDS:-${TAVIMO_WIN32_BUILD_DIR:-$SOURCE_DIR/build-win32} ${TAVIMO_WIN64_BUILD_DIR:-$SOURCE_DIR/build-win64}}"
PROGRAM=${WINE_PROGRAM:-tavimo.exe}
EXE="" LOADER="" WIN_BUILD=""
if "$SOURCE_DIR/tools/runs-32bit.sh"; then
  echo "this kernel runs 32-bit programs"
  KERNEL32=yes
else
  echo "this kernel cannot run 32-bit programs"
  KERNEL32=no
fi
if [ $KERNEL32 = yes ] && runs /usr/lib/wine/wine && [ -f "$BUILD32/$PROGRAM" ]; then
  LOADER=/usr/lib/wine/wine WIN_BUILD=$BUILD32
elif runs /usr/lib/wine/wine64 && [ -f "$BUILD64/$PROGRAM" ]; then
  LOADER=/usr/lib/wine/wine64 WIN_BUILD=$BUILD64
  [ $KERNEL32 = yes ] && echo "note: 32-bit Wine or $BUILD32/$PROGRAM missing; running the 64-bit build"
elif ! runs /usr/lib/wine/wine && ! runs /usr/lib/wine/wine64; then
  skip "Wine is not installed (tools/install-deps.sh wine installs it)"
else
  skip "no $PROGRAM to run in $BUILD32 or $BUILD64 (make windows, or make windows64 where 32-bit programs cannot run)"
fi
EXE=$WIN_BUILD/$PROGRAM
WINESERVER=/usr/lib/wine/wineserver
[ -x "$WINESERVER" ] || WINESERVER=$(command -v wineserver || true)
echo "running $EXE with $LOADER"

# A private X server of the given screen size, DISPLAY exported. At 320x200
# its one mode is the show's: Wine grants the exclusive mode that matches the
# screen (it cannot switch Xvfb's mode), and a screenshot is the frame.
start_x() {
  rm -f "$SCRATCH/display"
  Xvfb -displayfd 3 -screen 0 "$1" -nolisten tcp 3>"$SCRATCH/display" \
    >"$SCRATCH/xvfb.log" 2>&1 &
  XVFB_PID=$!
  for _ in $(seq 100); do [ -s "$SCRATCH/display" ] && break; sleep 0.05; done
  [ -s "$SCRATCH/display" ] || fail "Xvfb did not start: $(cat "$SCRATCH/xvfb.log")"
  export DISPLAY=":$(cat "$SCRATCH/display")"
}
start_x 320x200x24

# Sound: ALSA's default device is a file plugin over the null device, writing
# into a FIFO that a reader drains at the real rate (176400 bytes a second):
# the null device alone takes data as fast as it comes, and the music would
# race. Wine finds no other device (no sound card, no sound server).
export HOME=$SCRATCH/home
mkdir -p "$HOME"
mkfifo "$SCRATCH/audio.fifo"
cat >"$HOME/.asoundrc" <<EOF
pcm.!default {
  type file
  slave.pcm "null"
  file "$SCRATCH/audio.fifo"
  format "raw"
}
EOF
python3 - "$SCRATCH/audio.fifo" "$SCRATCH/audio.raw" 176400 <<'EOF' &
import sys, time
fifo, out_path, rate = sys.argv[1], sys.argv[2], int(sys.argv[3])
with open(out_path, 'wb') as out:
    while True:                        # every opening of the device
        with open(fifo, 'rb', buffering=0) as f:
            start, total = None, 0
            while True:
                data = f.read(4096)
                if not data:
                    break
                if start is None:
                    start = time.monotonic()
                out.write(data)
                out.flush()
                total += len(data)
                ahead = total / rate - (time.monotonic() - start)
                if ahead > 0:
                    time.sleep(ahead)
EOF
PACER_PID=$!

# A fresh Wine prefix. No Mono or Gecko installers; Direct3D's command stream
# thread off (with it, Wine's DirectDraw on Xvfb can hang in a lock after a
# flip).
export WINEPREFIX=$SCRATCH/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export WINELOADER=$LOADER
# Setting up a prefix now and then fails for no reason of ours (Wine cannot
# find its own kernel32.dll); a second try from scratch then succeeds.
for try in 1 2; do
  "$LOADER" wineboot -i >"$SCRATCH/wineboot.log" 2>&1 && break
  [ "$try" = 1 ] || fail "wineboot: $(tail -5 "$SCRATCH/wineboot.log")"
  echo "note: setting up Wine failed ($(tail -1 "$SCRATCH/wineboot.log")); trying again"
  "$WINESERVER" -k 2>/dev/null; "$WINESERVER" -w 2>/dev/null
  rm -rf "$WINEPREFIX"
done
"$LOADER" reg add 'HKCU\Software\Wine\Direct3D' /v csmt /t REG_DWORD /d 0 /f >/dev/null 2>&1 \
  || fail "could not configure the Wine prefix"

SHOTS=${WINE_SHOTS:-$BUILD_DIR/wine-shots}
mkdir -p "$SHOTS"
screenshot() { xwd -root -silent | convert xwd:- "png:$1"; }
brightest() { convert "$1" -format '%[fx:maxima]' info:; }
colours() { convert "$1" -format '%k' info:; }
now() { python3 -c "import time; print(time.time())"; }
since() { python3 -c "import sys; print(f'{float(sys.argv[2]) - float(sys.argv[1]):.1f}')" "$1" "$(now)"; }

# Starts the show; returns once its window is on screen, which happens
# while the display opens, early in start-up (the first frames fade in from
# black, so they cannot mark the start). Sets SHOW_START to the moment the
# scene table's clock read 0, give or take a second or two: the table starts
# about 3.1 s into the process, after the start-up wait.
start_show() {
  "$LOADER" "$EXE" >"$SCRATCH/show.log" 2>&1 &
  SHOW_PID=$!
  for _ in $(seq 600); do
    if ! kill -0 "$SHOW_PID" 2>/dev/null; then
      wait "$SHOW_PID"
      fail "the show ended with exit code $? before its window appeared: $(tail -5 "$SCRATCH/show.log")"
    fi
    if xdotool search --onlyvisible --name "^tavimo\$" >/dev/null 2>&1; then
      SHOW_START=$(python3 -c "import time; print(time.time() - 0.5 + 3.1)")
      return
    fi
    sleep 0.1
  done
  fail "no window on screen after 60 s"
}

# Waits until scene table time $1 ms.
wait_show_time() {
  python3 -c "import sys, time; time.sleep(max(0.0, float(sys.argv[1]) + int(sys.argv[2]) / 1000 - time.time()))" \
    "$SHOW_START" "$1"
}

# Runs the show to its end, at most $1 seconds; EXIT_CODE is its exit code
# or "running".
run_show() {
  "$LOADER" "$EXE" >"$SCRATCH/show.log" 2>&1 &
  SHOW_PID=$!
  wait_exit "$1"
}

# Waits up to $1 seconds for the show to end; EXIT_CODE is its exit code or
# "running".
wait_exit() {
  local ticks=$(($1 * 10))
  while kill -0 "$SHOW_PID" 2>/dev/null && [ "$ticks" -gt 0 ]; do
    sleep 0.1; ticks=$((ticks - 1))
  done
  if kill -0 "$SHOW_PID" 2>/dev/null; then EXIT_CODE=running; return; fi
  wait "$SHOW_PID"; EXIT_CODE=$?; SHOW_PID=""
}

