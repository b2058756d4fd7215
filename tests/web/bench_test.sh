#!/usr/bin/env bash
# The web bench end to end: tavimo-bench --only web runs the bench page in
# headless chromium and must give the time its assets took to unpack and,
# for every scene pass, the browser's and the native figures and their ratio. Checks only that the figures are
# there and sane, never how fast anything is. Exits 77 (skipped) where the
# bench, its page, chromium or the test's node modules are missing.
set -u
usage="usage: $0 BUILD_WEB_DIR TAVIMO_BENCH"
WEB=${1:?$usage}
BENCH=${2:?$usage}
HERE=$(cd "$(dirname "$0")" && pwd)
skip() { echo "SKIP: $*" >&2; exit 77; }
# A build tree that makes only the tests (the sanitizer runs) has no bench.
[ -x "$BENCH" ] || skip "no $BENCH in this build tree"
[ -f "$WEB/bench.html" ] && [ -f "$WEB/tavimo-bench-web.wasm" ] && [ -f "$WEB/tavimo.wasm" ] ||
  skip "no bench page in $WEB (make web builds it)"
command -v chromium >/dev/null || skip "chromium is not installed (tools/install-deps.sh web)"
command -v node >/dev/null || skip "node is not installed (tools/install-deps.sh web)"
[ -d "$HERE/node_modules/puppeteer-core" ] || skip "puppeteer-core is not installed in tests/web (tools/install-deps.sh web)"

"$BENCH" --only web --frames 60 --json | python3 -c '
import json, math, sys
rows = json.load(sys.stdin)
timed = {r["what"]: r for r in rows if "median_ms" in r}
ratios = {r["what"]: r for r in rows if "ratio" in r}
passes = [w[len("wasm/native "):] for w in ratios]
bad = []
if len(passes) < 6:
    bad.append(f"{len(passes)} scene passes compared, expected 6: {sorted(ratios)}")
for name in passes:
    wasm, native = timed.get("wasm " + name), timed.get("native " + name)
    if not wasm or not native:
        bad.append(f"{name}: no wasm or native timings")
        continue
    if wasm["calls"] != 3 or native["calls"] != 3:
        bad.append(f"{name}: {wasm['calls']} and {native['calls']} batches, expected 3")
    if not (0 < native["median_ms"] < 1000 and 0 < wasm["median_ms"] < 1000):
        bad.append(f"{name}: medians {wasm['median_ms']} and {native['median_ms']} ms")
    ratio = ratios["wasm/native " + name]
    if not math.isclose(ratio["ratio"], wasm["median_ms"] / native["median_ms"], rel_tol=1e-3):
        bad.append(f"{name}: ratio {ratio['ratio']} is not wasm / native")
    if ratio["met"] != (ratio["ratio"] <= ratio["limit"]):
        bad.append(f"{name}: goal met says {ratio['met']} at ratio {ratio['ratio']}")
unpack = timed.get("wasm unpack the assets")
if not unpack or not 0 <= unpack["median_ms"] < 60000:
    bad.append(f"the page did not say how long its assets took to unpack: {unpack}")
for b in bad:
    print(b)
print(f"{len(passes)} scene passes timed in the browser and natively")
sys.exit(1 if bad else 0)
'
