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
# The page, its script and its .wasm as a server sends them gzip-compressed
# at the best level (as tavimo-bench --only web counts them): within 64 KiB.
python3 - "$WEB" <<'EOF' || exit 1
import sys, zlib
total = 0
for name in ("index.html", "tavimo.js", "tavimo.wasm"):
    z = zlib.compressobj(9, zlib.DEFLATED, 31, 9)
    total += len(z.compress(open(sys.argv[1] + "/" + name, "rb").read()) + z.flush())
print("the page is %d bytes with gzip -9 (%d to spare of 65536)" % (total, 65536 - total))
sys.exit(0 if total <= 65536 else "FAIL: the page is over 65536 bytes with gzip -9")
EOF
command -v chromium >/dev/null || skip "chromium is not installed (tools/install-deps.sh web)"
command -v node >/dev/null || skip "node is not installed (tools/install-deps.sh web)"
[ -d "$HERE/node_modules/puppeteer-core" ] || skip "puppeteer-core is not installed in tests/web (tools/install-deps.sh web)"

SCRATCH=$(mktemp -d)
trap 'rm -rf "$SCRATCH"' EXIT
node "$HERE/show_test.mjs" "$WEB" "$SCRATCH" || exit 1
node "$HERE/check.mjs" "$SCRATCH" "$CAPTURE" "$REPLAY" "$HERE/../e2e/analyse.py"
