// bench_web_run.mjs -- runs the bench page (build-web/bench.html) in headless
// chromium through the web tests' launcher and prints what its program
// printed: one line per scene pass, its index then each batch's
// milliseconds per pass (bench_web_page.cpp). tavimo-bench reads it.
// Exits 77 after one line on stderr when the page, chromium or
// puppeteer-core is missing, 1 when the page fails.
// Usage: node bench_web_run.mjs BUILD_WEB_DIR BATCHES PER_BATCH
import fs from "node:fs";
import path from "node:path";
import {fileURLToPath} from "node:url";

const [dir, batches, perBatch] = process.argv.slice(2);
if (!dir || !(batches > 0) || !(perBatch > 0)) {
  console.error("usage: node bench_web_run.mjs BUILD_WEB_DIR BATCHES PER_BATCH");
  process.exit(2);
}
const tests = path.join(path.dirname(fileURLToPath(import.meta.url)), "..", "tests", "web");
const missing = !fs.existsSync(path.join(dir, "bench.html")) ? `no bench page in ${dir} (make web builds it)` :
  !fs.existsSync("/usr/bin/chromium") ? "chromium is not installed (tools/install-deps.sh web)" :
  !fs.existsSync(path.join(tests, "node_modules", "puppeteer-core")) ?
    "puppeteer-core is not installed in tests/web (tools/install-deps.sh web)" : "";
if (missing) {
  console.error(`web: no browser timings: ${missing}`);
  process.exit(77);
}
const {openBrowser} = await import(path.join(tests, "browser.mjs"));
const browser = await openBrowser(dir);
let code = 1;
try {
  const page = await browser.open(`bench.html?${batches}+${perBatch}`);
  await page.waitForFunction(() => window.benchResult, {timeout: 300000, polling: 100});
  const result = await page.evaluate(() => window.benchResult);
  for (const line of result.out)
    console.log(line);
  for (const line of result.err.concat(page.tavimoErrors))
    console.error(line);
  code = result.code === 0 ? 0 : 1;
} finally {
  await browser.close();
}
process.exit(code);
