# lib.bash -- shared set-up for the end-to-end tests: a private X server and
# a scratch folder, both removed on exit. Sourced, not run.
# A test exits 77 (skipped) where no X server can be had.
set -u
TAVIMO=${1:?usage: $0 path/to/tavimo}
SCRATCH=$(mktemp -d)
XVFB_PID=""

cleanup() {
  [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null
  rm -rf "$SCRATCH"
}
trap cleanup EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }

need_x() {
  for tool in Xvfb xdotool xwd convert; do
    if ! command -v "$tool" >/dev/null; then
      echo "SKIP: $tool is not installed (tools/install-deps.sh installs it)" >&2
      exit 77
    fi
  done
}

# Starts Xvfb on a free display number and exports DISPLAY.
start_x() {
  need_x
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$SCRATCH/display" \
    >"$SCRATCH/xvfb.log" 2>&1 &
  XVFB_PID=$!
  for _ in $(seq 100); do
    [ -s "$SCRATCH/display" ] && break
    sleep 0.05
  done
  [ -s "$SCRATCH/display" ] || fail "Xvfb did not start: $(cat "$SCRATCH/xvfb.log")"
  export DISPLAY=":$(cat "$SCRATCH/display")"
}

# This machine has no sound card: give SDL a device that writes to a file.
use_disk_audio() {
  export SDL_AUDIODRIVER=disk
  export SDL_DISKAUDIOFILE="$SCRATCH/audio.raw"
}

# Screenshot of the whole X screen as PNG.
screenshot() {
  xwd -root -silent | convert xwd:- "png:$1"
}

# Waits up to $2 hundredths of a second for process $1 to end; sets
# EXIT_CODE to its exit code, or to "running" if it is still alive then.
wait_exit() {
  local pid=$1 ticks=$2
  while kill -0 "$pid" 2>/dev/null && [ "$ticks" -gt 0 ]; do
    sleep 0.01; ticks=$((ticks - 1))
  done
  if kill -0 "$pid" 2>/dev/null; then EXIT_CODE=running; return; fi
  wait "$pid"; EXIT_CODE=$?
}

# The present probe, preloaded into the show: it appends the time of every
# frame the show presents (8-byte nanoseconds since the epoch) to $PRESENTS.
# Start the show as  LD_PRELOAD="$PROBE" TAVIMO_PRESENT_LOG="$PRESENTS" "$TAVIMO" &
PROBE="$(dirname "$TAVIMO")/tests/libtavimo_present_probe.so"
PRESENTS=$SCRATCH/presents

present_count() { echo $(( $(stat -c %s "$PRESENTS" 2>/dev/null || echo 0) / 8 )); }

# Time of present $1 (0 the first, -1 the last) in ms since the epoch.
present_ms() {
  local i=$1
  [ "$i" -lt 0 ] && i=$(( $(present_count) + i ))
  echo $(( $(od -An -t d8 -j $((i * 8)) -N 8 "$PRESENTS") / 1000000 ))
}

# Waits up to $2 seconds for show $1 to present its first frame and sets
# SHOW_T0 to that moment (ms since the epoch): the show's clock starts
# there, so tests time their steps from it rather than from the process start.
wait_first_present() {
  local pid=$1 ticks=$(( $2 * 20 ))
  [ -f "$PROBE" ] || fail "$PROBE is not built (the test binary's build brings it)"
  while [ "$(present_count)" -eq 0 ]; do
    if ! kill -0 "$pid" 2>/dev/null; then
      wait "$pid"; fail "the show ended with exit code $? before its first frame"
    fi
    [ "$ticks" -gt 0 ] || fail "no frame presented within $2 s"
    sleep 0.05; ticks=$((ticks - 1))
  done
  SHOW_T0=$(present_ms 0)
}

# Asks show $1 to quit ($2 names the moment) with the command that follows,
# Escape by default. The show's reaction is measured on its own frames: none
# presented later than 0.5 s after the request. Its exit (closing the window
# and the sound device) may take longer on a busy machine: exit code 0
# within 5 s. Sets QUIT_NOTE to what was seen.
ask_to_quit() {
  local pid=$1 what=$2
  shift 2
  if [ $# -gt 0 ]; then "$@" || fail "$what: could not send the request"; else xdotool key Escape; fi
  local asked=$(now_ms)
  wait_exit "$pid" 500
  [ "$EXIT_CODE" = 0 ] || fail "$what: $EXIT_CODE (expected exit code 0 within 5 s)"
  local gone=$(( $(now_ms) - asked )) last=-1000000
  [ "$(present_count)" -gt 0 ] && last=$(( $(present_ms -1) - asked ))
  [ "$last" -le 500 ] || fail "$what: the show presented frames until $last ms after the request"
  QUIT_NOTE="last frame at $last ms from the request, exit code 0 after $gone ms"
}

# Milliseconds since the epoch.
now_ms() { echo $(( $(date +%s%N) / 1000000 )); }

# Sleeps until $1 ms after the time $2 (ms since the epoch).
sleep_until() {
  local wait=$(( $2 + $1 - $(now_ms) ))
  [ "$wait" -gt 0 ] && sleep "$(printf '%d.%03d' $((wait / 1000)) $((wait % 1000)))"
  return 0
}

ANALYSE="/usr/bin/python3 $(dirname "${BASH_SOURCE[0]}")/analyse.py"
need_python_xlib() {
  if ! /usr/bin/python3 -c 'import Xlib' 2>/dev/null; then
    echo "SKIP: python3-xlib is not installed (tools/install-deps.sh installs it)" >&2
    exit 77
  fi
}

# True while a window named tavimo exists on the X screen.
window_exists() { xdotool search --name '^tavimo$' >/dev/null 2>&1; }
