#!/usr/bin/env bash
# The web build's show in headless chromium (show_test.mjs), judged against
# this build's offline capture and native frames (check.mjs). Exits 77 (skipped) where the web
# build, chromium or the test's node modules are missing: `make web` builds
# the first, tools/install-deps.sh web installs the others.
set -u
usage="usage: $0 BUILD_WEB_DIR TAVIMO_CAPTURE WEB_REPLAY"
WEB=${1:?$usage}
CAPTURE=${2:?$usage}
REPLAY=${3:?$usage}
HERE=$(cd "$(dirname "$0")" && pwd)
skip() { echo "SKIP: $*" >&2; exit 77; }
[ -f "$WEB/tavimo.js" ] && [ -f "$WEB/tavimo.wasm" ] && [ -f "$WEB/index.html" ] ||
  skip "no web build in $WEB (make web builds it)"
command -v chromium >/dev/null || skip "chromium is not installed (tools/install-deps.sh web)"
command -v node >/dev/null || skip "node is not installed (tools/install-deps.sh web)"
[ -d "$HERE/node_modules/puppeteer-core" ] || skip "puppeteer-core is not installed in tests/web (tools/install-deps.sh web)"

SCRATCH=$(mktemp -d)
trap 'rm -rf "$SCRATCH"' EXIT
node "$HERE/show_test.mjs" "$WEB" "$SCRATCH" || exit 1
node "$HERE/check.mjs" "$SCRATCH" "$CAPTURE" "$REPLAY" "$HERE/../e2e/analyse.py"
