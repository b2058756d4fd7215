// dist_test.mjs -- the release's one-file pages opened from disk (file://,
// served by nothing) in one browser, as a viewer who unpacked the archive
// meets them: tavimo.html loads without errors, a click starts the show,
// its frames reach the canvas and the sound layer's callbacks play the
// music from the start, Escape ends it; player.html plays a module handed
// to it, its blocks mixed equal to tavimo-xm render's.
// Usage: node dist_test.mjs DIST_DIR chromium|firefox TAVIMO_XM MODULE
import {execFileSync} from "node:child_process";
import fs from "node:fs";
import os from "node:os";
import path from "node:path";
import {openBrowser} from "./browser.mjs";

const [dir, kind, toolArg, module] = process.argv.slice(2);
if (!dir || !["chromium", "firefox"].includes(kind) || !toolArg || !module) {
  console.error("usage: node dist_test.mjs DIST_DIR chromium|firefox TAVIMO_XM MODULE");
  process.exit(2);
}
let failures = 0;
function check(ok, what, detail = "") {
  console.log(`${ok ? "ok  " : "FAIL"} ${kind}: ${what}${detail ? ": " + detail : ""}`);
  if (!ok)
    failures++;
}
async function waitFor(page, what, test, arg, timeoutMs) {
  try {
    await page.waitForFunction(test, {timeout: timeoutMs, polling: 100}, arg);
    return true;
  } catch (e) {
    check(false, what, e.message.split("\n")[0]);
    return false;
  }
}
function fnv(bytes, start, end) {
  let h = 0x811c9dc5;
  for (let i = start; i < end; i++)
    h = Math.imul(h ^ bytes[i], 0x01000193) >>> 0;
  return h;
}

const browser = await openBrowser(dir, {browser: kind, fromDisk: true});
try {
  // The show: its first twelve seconds (the opening picture faded in),
  // then Escape.
  const page = await browser.open("tavimo.html");
  const footer = await page.evaluate(() => document.querySelector("footer").textContent);
  check(/^tavimo \d+\.\d+\.\d+(\+g[0-9a-f]+)?, MIT licence$/.test(footer),
        "the footer names the version", footer);
  await page.click("#start");
  if (await waitFor(page, "the show plays twelve seconds",
                    () => { const f = window.tavimoRecord.frames;
                            return f.length && f[f.length - 1][0] >= 12000; }, null, 120000)) {
    const seen = await page.evaluate(() => {
      const c = document.getElementById("screen");
      // The canvas as shown: drawn into a canvas of the page's own.
      const copy = document.createElement("canvas");
      copy.width = c.width;
      copy.height = c.height;
      const g = copy.getContext("2d");
      g.drawImage(c, 0, 0);
      const rgba = g.getImageData(0, 0, c.width, c.height).data;
      let lit = 0;
      for (let i = 0; i < rgba.length; i += 4)
        if (rgba[i] + rgba[i + 1] + rgba[i + 2] > 48)
          lit++;
      const a = window.tavimoRecord.audio;
      return {frames: window.tavimoRecord.frames.length, lit, callbacks: a.callbacks,
              started: a.started, seconds: a.hashes.length};
    });
    check(seen.frames >= 120, "frames are presented", `${seen.frames} frames`);
    check(seen.lit > 16000, "they reach the canvas", `${seen.lit} of 64000 pixels lit`);
    check(seen.callbacks >= 40 && seen.started && seen.seconds >= 6,
          "the sound layer's callbacks play the music",
          `${seen.callbacks} callbacks, ${seen.seconds} s of sound`);
  }
  await page.keyboard.press("Escape");
  await waitFor(page, "Escape ends the show", () => !document.getElementById("panel").hidden &&
                document.getElementById("note").textContent === "The end.", null, 20000);
  check(page.tavimoErrors.length === 0, "no errors", page.tavimoErrors.join("; "));
  await page.close();

  // The player: a module handed to it plays, as tavimo-xm renders it.
  const player = await browser.open("player.html");
  await waitFor(player, "the player loads", () => !!window.playerTest, null, 30000);
  const scratch = fs.mkdtempSync(path.join(os.tmpdir(), "tavimo-dist-"));
  const name = path.basename(module);
  fs.copyFileSync(module, path.join(scratch, name));
  await (await player.$("#file")).uploadFile(path.join(scratch, name));
  await waitFor(player, "the module's facts appear",
                () => document.getElementById("facts").textContent !== "", null, 30000);
  await player.click("#play");
  const BLOCKS = 150;  // 884 frames each: three seconds
  if (await waitFor(player, "three seconds are mixed",
                    (n) => window.playerTest.status().blockCount >= n, BLOCKS, 60000)) {
    const sums = await player.evaluate((n) => window.playerTest.blockSums(n), BLOCKS);
    execFileSync(path.resolve(toolArg), ["render", name, "three.wav", "--seconds", "4"],
                 {cwd: scratch, stdio: "pipe"});
    const wav = fs.readFileSync(path.join(scratch, "three.wav"));
    let mismatched = 0;
    for (let k = 0; k < BLOCKS; k++)
      if (sums[k] !== fnv(wav, 44 + k * 884 * 4, 44 + (k + 1) * 884 * 4))
        mismatched++;
    check(mismatched === 0, `${name} plays as tavimo-xm renders it`,
          `${mismatched} of ${BLOCKS} blocks differ`);
  }
  check(player.tavimoErrors.length === 0, "no errors in the player", player.tavimoErrors.join("; "));
  fs.rmSync(scratch, {recursive: true, force: true});
} catch (e) {
  check(false, "the test ran", String(e));
} finally {
  await browser.close();
}
process.exit(failures ? 1 : 0);
