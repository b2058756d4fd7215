// show_test.mjs -- the web build's show in headless chromium, as a viewer
// meets it: the page loads without errors, a click starts the show, it ends
// by itself and offers to watch again; a second run with every frame made
// 50 ms slower is ended early by Escape. Writes what it saw to OUT for
// check.py: result.json (frame clocks and times, sound hashes, the end of
// each run), the frames kept at the show times asked for (grab-MS.ppm) and
// every clock reading of the whole show (grab-clock.txt, for web_replay).
// DAMAGED_DIR, when given, holds a copy of the page whose assets are
// damaged: how it ends after the click is recorded too.
// Usage: node show_test.mjs BUILD_WEB_DIR OUT_DIR [DAMAGED_DIR]
import fs from "node:fs";
import path from "node:path";
import {openBrowser} from "./browser.mjs";

const [dir, out, damaged] = process.argv.slice(2);
if (!dir || !out) {
  console.error("usage: node show_test.mjs BUILD_WEB_DIR OUT_DIR [DAMAGED_DIR]");
  process.exit(2);
}
fs.mkdirSync(out, {recursive: true});
const GRABS = [5000, 20000, 56000, 90000, 145000];
const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

async function panelState(page) {
  return page.evaluate(() => ({
    hidden: document.getElementById("panel").hidden,
    note: document.getElementById("note").textContent,
    button: document.getElementById("start").textContent,
  }));
}

async function lastClock(page) {
  return page.evaluate(() => {
    const f = window.tavimoRecord.frames;
    return f.length ? f[f.length - 1][0] : -1;
  });
}

// What a run recorded, with the kept frames written out.
async function takeRecord(page, prefix) {
  const record = await page.evaluate(() => {
    const r = window.tavimoRecord;
    window.tavimoReset();
    return r;
  });
  for (const g of record.grabs) {
    const file = path.join(out, `${prefix}-${g.clock}.ppm`);
    fs.writeFileSync(file, Buffer.concat([Buffer.from("P6\n320 200\n255\n"), Buffer.from(g.rgb, "base64")]));
    g.file = file;
    delete g.rgb;
  }
  const lines = [];
  for (let i = 0; i < record.clock.length; i += 2)
    lines.push(`${record.clock[i]} ${record.clock[i + 1]}\n`);
  record.clockFile = path.join(out, `${prefix}-clock.txt`);
  fs.writeFileSync(record.clockFile, lines.join(""));
  delete record.clock;
  return record;
}

const browser = await openBrowser(dir);
const result = {};
let failed = false;
try {
  const page = await browser.open("index.html");
  result.before = await panelState(page);

  // The whole show.
  await page.evaluate((g) => { window.tavimoGrabAt = g; }, GRABS);
  const started = Date.now();
  await page.click("#start");
  await page.waitForFunction(() => !document.getElementById("panel").hidden,
                             {timeout: 200000, polling: 500});
  result.wholeShow = {wallMs: Date.now() - started, end: await panelState(page),
                      record: await takeRecord(page, "grab")};
  console.log(`whole show: ended after ${result.wholeShow.wallMs} ms of wall time, ` +
              `"${result.wholeShow.end.note}"`);

  // Watch again, every frame 50 ms slower, until Escape.
  await page.evaluate(() => { window.tavimoTest.frameDelayMs = 50; });
  await page.click("#start");
  while (await lastClock(page) < 12000)
    await sleep(200);
  const escapeAt = await lastClock(page);
  await page.keyboard.press("Escape");
  const pressed = Date.now();
  await page.waitForFunction(() => !document.getElementById("panel").hidden,
                             {timeout: 5000, polling: 50});
  result.escape = {pressedAtClock: escapeAt, endedAfterMs: Date.now() - pressed,
                   end: await panelState(page), record: await takeRecord(page, "slow")};
  await sleep(500);
  result.escape.framesAfterEnd = (await page.evaluate(() => window.tavimoRecord.frames.length));
  console.log(`escape: pressed at show time ${escapeAt} ms, the show ended ` +
              `${result.escape.endedAfterMs} ms later`);
  result.errors = page.tavimoErrors;
} catch (e) {
  console.error("FAIL: " + (e.stack || e));
  failed = true;
} finally {
  await browser.close();
}
if (damaged && !failed) {
  const other = await openBrowser(damaged);
  try {
    const page = await other.open("index.html");
    await page.click("#start");
    await page.waitForFunction(() => !document.getElementById("panel").hidden,
                               {timeout: 20000, polling: 100});
    result.damaged = {end: await panelState(page), errors: page.tavimoErrors};
  } catch (e) {
    console.error("FAIL: the damaged page: " + (e.stack || e));
    failed = true;
  } finally {
    await other.close();
  }
}
fs.writeFileSync(path.join(out, "result.json"), JSON.stringify(result));
process.exit(failed ? 1 : 0);
