#!/usr/bin/env bash
# The release's one-file pages (make dist: build-dist/tavimo-*/tavimo.html
# and player.html) opened from disk in one headless browser, chromium or
# firefox (dist_test.mjs). Exits 77 (skipped) where there is no release
# folder, or the browser or node is missing.
set -u
usage="usage: $0 chromium|firefox SOURCE_DIR TAVIMO_XM"
KIND=${1:?$usage}
SOURCE=${2:?$usage}
XM=${3:?$usage}
HERE=$(cd "$(dirname "$0")" && pwd)
skip() { echo "SKIP: $*" >&2; exit 77; }
DIST=$(ls -d "$SOURCE"/build-dist/tavimo-*/ 2>/dev/null | head -n 1)
[ -n "$DIST" ] && [ -f "$DIST/tavimo.html" ] || skip "no release folder in $SOURCE/build-dist (make dist makes it)"
case $KIND in
  chromium) command -v chromium >/dev/null || skip "chromium is not installed (tools/install-deps.sh web)" ;;
  firefox) command -v firefox-esr >/dev/null || skip "firefox-esr is not installed (tools/install-deps.sh web)" ;;
  *) echo "$usage" >&2; exit 2 ;;
esac
command -v node >/dev/null || skip "node is not installed (tools/install-deps.sh web)"
[ -d "$HERE/node_modules/puppeteer-core" ] || skip "puppeteer-core is not installed in tests/web (tools/install-deps.sh web)"

SCRATCH=$(mktemp -d)
PULSE_PID=""
trap '[ -n "$PULSE_PID" ] && kill "$PULSE_PID" 2>/dev/null; rm -rf "$SCRATCH"' EXIT
if [ "$KIND" = firefox ]; then
  # Firefox plays through PulseAudio: a private server whose only sink is a
  # null sink, which takes the sound at the real rate.
  command -v pulseaudio >/dev/null || skip "pulseaudio is not installed (tools/install-deps.sh web)"
  export HOME=$SCRATCH/home XDG_RUNTIME_DIR=$SCRATCH/run PULSE_SERVER=unix:$SCRATCH/run/pulse.socket
  mkdir -p "$HOME" "$XDG_RUNTIME_DIR"
  pulseaudio --daemonize=no --exit-idle-time=-1 -n --log-target=file:"$SCRATCH/pulse.log" \
    --load="module-null-sink sink_name=tavimo rate=44100" \
    --load="module-native-protocol-unix socket=$SCRATCH/run/pulse.socket auth-anonymous=1" &
  PULSE_PID=$!
  for _ in $(seq 50); do [ -S "$SCRATCH/run/pulse.socket" ] && break; sleep 0.1; done
  [ -S "$SCRATCH/run/pulse.socket" ] || { echo "FAIL: pulseaudio did not start: $(tail -3 "$SCRATCH/pulse.log")" >&2; exit 1; }
fi

CORPUS=${TAVIMO_XM_CORPUS:-$SOURCE/../shared/xm-corpus}
MODULE=$CORPUS/strange_fear2.xm
if [ ! -f "$MODULE" ]; then
  MODULE=$(ls "$CORPUS"/*.xm 2>/dev/null | head -n 1)
  [ -n "$MODULE" ] || MODULE=$SOURCE/assets/module_data.xm
fi
echo "pages: $DIST; module: $MODULE"
node "$HERE/dist_test.mjs" "$DIST" "$KIND" "$XM" "$MODULE"
