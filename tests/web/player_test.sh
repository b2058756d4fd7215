#!/usr/bin/env bash
# The module player page (build-web/player.html) in headless chromium
# (player_test.mjs), judged against tavimo-xm. Plays a module of the XM
# corpus (../shared/xm-corpus beside the clone, or $TAVIMO_XM_CORPUS), the
# show's own module where there is none. Exits 77 (skipped) where the web
# build, chromium or the test's node modules are missing.
set -u
usage="usage: $0 BUILD_WEB_DIR TAVIMO_XM SOURCE_DIR"
WEB=${1:?$usage}
XM=${2:?$usage}
SOURCE=${3:?$usage}
HERE=$(cd "$(dirname "$0")" && pwd)
skip() { echo "SKIP: $*" >&2; exit 77; }
[ -f "$WEB/player.html" ] && [ -f "$WEB/tavimo-player.js" ] && [ -f "$WEB/tavimo-player.wasm" ] ||
  skip "no player page in $WEB (make web builds it)"
command -v chromium >/dev/null || skip "chromium is not installed (tools/install-deps.sh web)"
command -v node >/dev/null || skip "node is not installed (tools/install-deps.sh web)"
[ -d "$HERE/node_modules/puppeteer-core" ] || skip "puppeteer-core is not installed in tests/web (tools/install-deps.sh web)"

CORPUS=${TAVIMO_XM_CORPUS:-$SOURCE/../shared/xm-corpus}
MODULE=$CORPUS/strange_fear2.xm
if [ ! -f "$MODULE" ]; then
  MODULE=$(ls "$CORPUS"/*.xm 2>/dev/null | head -n 1)
  [ -n "$MODULE" ] || MODULE=$SOURCE/assets/module_data.xm
fi
echo "module: $MODULE"
node "$HERE/player_test.mjs" "$WEB" "$XM" "$MODULE"
