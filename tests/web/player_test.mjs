// player_test.mjs -- the module player page (player.html) in headless
// chromium, as a listener uses it: a corpus module handed to the file input
// shows tavimo-xm's facts; played for ten seconds, every block it mixed
// equals tavimo-xm render's; a click on the position bar and the arrow keys
// move the pattern view to that order's rows as they are heard; space
// pauses, Escape stops; the list of places where the sound jumps is
// tavimo-xm check's, and a click on one plays from its order; a truncated file and a text file give tavimo-xm's
// one-line reason, a file over the size limit is refused, and the next good
// file plays; the WAV rendered in the page is tavimo-xm render's file, byte
// for byte, and with smooth note starts ticked tavimo-xm render --declick's.
// No console errors.
// Usage: node player_test.mjs BUILD_WEB_DIR TAVIMO_XM MODULE
import {execFileSync} from "node:child_process";
import fs from "node:fs";
import os from "node:os";
import path from "node:path";
import {openBrowser} from "./browser.mjs";

const [dir, toolArg, module] = process.argv.slice(2);
const tool = toolArg && path.resolve(toolArg);
if (!dir || !tool || !module) {
  console.error("usage: node player_test.mjs BUILD_WEB_DIR TAVIMO_XM MODULE");
  process.exit(2);
}
const sleep = (ms) => new Promise((r) => setTimeout(r, ms));
const scratch = fs.mkdtempSync(path.join(os.tmpdir(), "tavimo-player-"));
const name = path.basename(module);
fs.copyFileSync(module, path.join(scratch, name));
let failures = 0;
function check(ok, what, detail = "") {
  console.log(`${ok ? "ok  " : "FAIL"} ${what}${detail ? ": " + detail : ""}`);
  if (!ok)
    failures++;
}

// tavimo-xm run in the scratch folder on a bare file name, so that its
// file line and messages name the file as the page does.
function xm(args) {
  try {
    return {code: 0, out: execFileSync(tool, args, {cwd: scratch, encoding: "utf8", stdio: "pipe"})};
  } catch (e) {
    return {code: e.status, out: String(e.stdout) + String(e.stderr)};
  }
}

function fnv(bytes, start, end) {
  let h = 0x811c9dc5;
  for (let i = start; i < end; i++)
    h = Math.imul(h ^ bytes[i], 0x01000193) >>> 0;
  return h;
}

async function waitFor(page, what, test, arg, timeoutMs = 30000) {
  try {
    await page.waitForFunction(test, {timeout: timeoutMs, polling: 50}, arg);
    return true;
  } catch (e) {
    check(false, what, e.message.split("\n")[0]);
    return false;
  }
}

const status = (page) => page.evaluate(() => window.playerTest.status());
const errorLine = (page) => page.evaluate(() => document.getElementById("error").textContent);

async function upload(page, file) {
  const input = await page.$("#file");
  await input.uploadFile(file);
}

const browser = await openBrowser(path.resolve(dir));
try {
  const page = await browser.open("player.html");
  await waitFor(page, "the player loads", () => !!window.playerTest);

  // Facts.
  await upload(page, path.join(scratch, name));
  await waitFor(page, "the facts appear", () => document.getElementById("facts").textContent !== "");
  const facts = await page.evaluate(() => document.getElementById("facts").textContent);
  check(facts === xm(["info", name]).out, "the facts shown are tavimo-xm info's", facts.split("\n")[0]);
  const json = JSON.parse(await page.evaluate(() => window.playerTest.info(true)));
  check(JSON.stringify(json) === JSON.stringify(JSON.parse(xm(["info", name, "--json"]).out)),
        "and its JSON facts");

  // Ten seconds of sound, block by block against the offline render.
  await page.click("#play");
  const BLOCKS = 500;  // 884 frames each at 44100 Hz: 10.02 s
  const started = Date.now();
  await waitFor(page, "ten seconds are mixed", (n) => window.playerTest.status().blockCount >= n,
                BLOCKS, 60000);
  console.log(`     ${BLOCKS} blocks mixed in ${Date.now() - started} ms of page time`);
  const st = await status(page);
  check(st.rate === 44100, "the sound runs at 44100 Hz", String(st.rate));
  check(st.state === 2 && st.heardMs > 8000, "it plays, and what is heard follows",
        `state ${st.state}, heard ${st.heardMs} ms`);
  const sums = await page.evaluate((n) => window.playerTest.blockSums(n), BLOCKS);
  xm(["render", name, "ten.wav", "--seconds", "11"]);
  const wav = fs.readFileSync(path.join(scratch, "ten.wav"));
  let mismatched = 0, first = -1;
  for (let k = 0; k < BLOCKS; k++) {
    const start = 44 + k * 884 * 4;
    if (sums[k] !== fnv(wav, start, start + 884 * 4)) {
      mismatched++;
      if (first < 0)
        first = k;
    }
  }
  check(mismatched === 0, "the blocks mixed equal tavimo-xm render's",
        `${mismatched} of ${BLOCKS} differ${first >= 0 ? ", the first is block " + first : ""}`);

  // A click on the position bar: order 3 is heard from its first row, and
  // the pattern view shows its pattern with the heard row marked.
  const orders = json.orders;
  const target = Math.min(3, orders.length - 1);
  const bar = await (await page.$("#bar")).boundingBox();
  await page.mouse.click(bar.x + (target + 0.5) * bar.width / orders.length, bar.y + bar.height / 2);
  await waitFor(page, `order ${target} is heard after a click on the bar`,
                (o) => window.playerTest.status().order === o, target, 5000);
  // What the page drew at its last animation frame, against that frame's status.
  await page.evaluate(() => new Promise((r) => requestAnimationFrame(() => requestAnimationFrame(r))));
  const view = await page.evaluate(() => {
    const s = window.playerTest.shown();
    const now = document.querySelectorAll("#rows .row.now");
    return {s, marked: now.length, number: now.length ? now[0].querySelector(".num").textContent : "",
            rows: document.querySelectorAll("#rows .row").length,
            cells: now.length ? now[0].querySelectorAll(".cell").length : 0,
            where: document.getElementById("where").textContent};
  });
  check(view.s.order === target && view.s.pattern === orders[target], "its pattern is shown",
        `order ${view.s.order}, pattern ${view.s.pattern}`);
  check(view.s.row < 16, "from its first rows", `row ${view.s.row}`);
  check(view.rows === view.s.rows && view.cells === json.channels,
        "the pattern view has its rows, a cell per channel", `${view.rows} rows, ${view.cells} cells`);
  check(view.marked === 1 && Number(view.number) === view.s.row,
        "the row heard is marked", `marked ${view.number}, heard ${view.s.row}`);
  const cellText = await page.evaluate(() => document.querySelector("#rows .row .cell").textContent);
  check(/^(\.\.\.|===|[A-G][-#][0-9]) (\.\.|[0-9A-F]{2}) (\.\.|[0-9A-F]{2}|[-+DUSVPLRM][0-9A-F]) (\.\.\.|[0-9A-Z][0-9A-F]{2})$/.test(cellText),
        "cells read as a tracker writes them", cellText);

  // Keys: right moves on an order, space pauses and resumes, Escape stops.
  await page.keyboard.press("ArrowRight");
  const next = Math.min(target + 1, orders.length - 1);
  await waitFor(page, "right arrow: the next order", (o) => window.playerTest.status().order === o, next, 5000);
  await page.keyboard.press(" ");
  await waitFor(page, "space pauses", () => window.playerTest.status().state === 3, null, 2000);
  const held = (await status(page)).heardMs;
  await sleep(1000);
  const after = await status(page);
  check(after.heardMs === held && after.state === 3, "paused, the position holds",
        `${held} ms then ${after.heardMs} ms`);
  await page.keyboard.press(" ");
  await waitFor(page, "space resumes", (h) => window.playerTest.status().heardMs > h + 200, held, 5000);
  await page.keyboard.press("Escape");
  await waitFor(page, "Escape stops", () => window.playerTest.status().state === 1, null, 2000);

  // Where the sound jumps: tavimo-xm check's lines, each entry playing from
  // its order when clicked.
  const listed = await page.evaluate(() => {
    const items = Array.from(document.querySelectorAll("#findings li"));
    return {lines: items.map((li) => li.textContent), orders: items.map((li) => Number(li.dataset.order)),
            count: document.getElementById("findingsCount").textContent};
  });
  const checked = xm(["check", name]).out;
  check([...listed.lines, listed.count].join("\n") + "\n" === checked,
        "the list of jumps is tavimo-xm check's", listed.count);
  const pick = listed.orders.reduce((best, o, i) => (o > listed.orders[best] ? i : best), 0);
  if (listed.lines.length && listed.orders[pick] > 0) {
    const entries = await page.$$("#findings li");
    await entries[pick].click();
    await waitFor(page, `a click on a jump at order ${listed.orders[pick]} plays from there`,
                  (o) => window.playerTest.status().state === 2 && window.playerTest.status().order === o,
                  listed.orders[pick], 5000);
    await page.keyboard.press("Escape");
    await waitFor(page, "Escape stops again", () => window.playerTest.status().state === 1, null, 2000);
  } else {
    check(false, "the module has a jump past order 0 to click", listed.count);
  }

  // Bad files, then a good one.
  const whole = fs.readFileSync(path.join(scratch, name));
  fs.writeFileSync(path.join(scratch, "cut.xm"), whole.subarray(0, 2000));
  fs.writeFileSync(path.join(scratch, "notes.txt"), "this is a shopping list, not a module\n");
  for (const bad of ["cut.xm", "notes.txt"]) {
    await upload(page, path.join(scratch, bad));
    await waitFor(page, `${bad} is refused`, () => document.getElementById("error").textContent !== "");
    const shown = await errorLine(page);
    const told = xm(["info", bad]);
    check(told.code === 1 && "tavimo-xm: " + shown + "\n" === told.out,
          `${bad}: tavimo-xm's reason, one line`, shown);
  }
  // Over the size limit: refused from its size alone (a sparse file).
  fs.closeSync(fs.openSync(path.join(scratch, "big.xm"), "w"));
  fs.truncateSync(path.join(scratch, "big.xm"), 40 * 1048576);
  await upload(page, path.join(scratch, "big.xm"));
  await waitFor(page, "big.xm is refused", () => /^big\.xm: /.test(document.getElementById("error").textContent));
  check(await errorLine(page) === "big.xm: too large (40.0 MiB; at most 32 MiB)", "a file over 32 MiB is refused",
        await errorLine(page));
  await upload(page, path.join(scratch, name));
  await waitFor(page, "the good file after them plays",
                () => window.playerTest.status().state === 2 && window.playerTest.status().blockCount > 50 &&
                      document.getElementById("error").textContent === "", null, 10000);

  // The WAV rendered in the page.
  await page.click("#renderButton");
  const renderStart = Date.now();
  await waitFor(page, "the WAV is rendered", () => !document.getElementById("download").hidden, null, 120000);
  console.log(`     rendered in ${Date.now() - renderStart} ms`);
  const rendered = await page.evaluate(() => Object.assign(window.playerTest.renderedHash(),
                                                           {name: document.getElementById("download").download}));
  xm(["render", name, "whole.wav"]);
  const whole_wav = fs.readFileSync(path.join(scratch, "whole.wav"));
  check(rendered.size === whole_wav.length && rendered.hash === fnv(whole_wav, 0, whole_wav.length),
        "the page's WAV is tavimo-xm render's", `${rendered.size} bytes as ${rendered.name}`);
  // With smooth note starts ticked, the page's WAV is tavimo-xm render
  // --declick's (which differs from the plain one where a note restarts).
  await page.click("#declick");
  await page.click("#renderButton");
  await waitFor(page, "the WAV with smooth note starts is rendered",
                () => !document.getElementById("download").hidden, null, 120000);
  const smooth = await page.evaluate(() => window.playerTest.renderedHash());
  xm(["render", name, "smooth.wav", "--declick"]);
  const smooth_wav = fs.readFileSync(path.join(scratch, "smooth.wav"));
  check(smooth.size === smooth_wav.length && smooth.hash === fnv(smooth_wav, 0, smooth_wav.length),
        "with smooth note starts, the page's WAV is tavimo-xm render --declick's",
        `${smooth.size} bytes, ${smooth.hash === rendered.hash ? "the same as" : "unlike"} the plain one`);
  await page.click("#declick");
  await page.click("#play");
  await waitFor(page, "it plays again after rendering", () => window.playerTest.status().state === 2 &&
                window.playerTest.status().heardMs > 500, null, 10000);

  check(page.tavimoErrors.length === 0, "no console errors", page.tavimoErrors.join("; "));
} finally {
  await browser.close();
  fs.rmSync(scratch, {recursive: true, force: true});
}
console.log(failures ? `${failures} checks failed` : "all checks passed");
process.exit(failures ? 1 : 0);
