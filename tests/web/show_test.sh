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
# A copy of the page with one byte of its packed assets changed, which
# must end at once with exit code 1 and say so.
mkdir "$SCRATCH/damaged"
cp "$WEB/index.html" "$WEB/tavimo.js" "$SCRATCH/damaged/"
python3 - "$WEB/tavimo.wasm" "$SCRATCH/damaged/tavimo.wasm" <<'EOF' || exit 1
import struct, sys
wasm = bytearray(open(sys.argv[1], "rb").read())
at = wasm.find(b"packlive")   # the assets' table (release/unpack_cm.h, 340 bytes)
if at < 0 or wasm.find(b"packlive", at + 1) >= 0:
    sys.exit("FAIL: tavimo.wasm has not one table of packed assets")
wasm[at + 340 + struct.unpack_from("<I", wasm, at + 16)[0] // 2] ^= 0x10
open(sys.argv[2], "wb").write(wasm)
EOF
node "$HERE/show_test.mjs" "$WEB" "$SCRATCH" "$SCRATCH/damaged" || exit 1
node "$HERE/check.mjs" "$SCRATCH" "$CAPTURE" "$REPLAY" "$HERE/../e2e/analyse.py"
