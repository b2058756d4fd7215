// browser.mjs -- the browser side of the web tests: serves a build folder on
// localhost, starts Debian's chromium headless over the DevTools protocol
// (puppeteer-core, no browser of its own) and gives a page with the test
// hooks of runtime/web/pre.js installed as window.tavimoTest.
//
// Another page's test reuses it: `const b = await openBrowser(dir)`, then
// `const page = await b.open("player.html")`, drive the page, `b.close()`.
// openBrowser(dir, {browser: "firefox"}) drives Debian's firefox-esr
// instead (WebDriver BiDi); {fromDisk: true} opens the pages from file://,
// served by nothing, as a viewer who opened the file would.
// The hooks record into window.tavimoRecord (window.tavimoReset() starts anew):
//   frames      one [clock, renderMs] per presented frame
//   clock       every clock reading, as value, count, value, count, ...
//   grabs       frames kept at requested show times (window.tavimoGrabAt)
//   audio       per-second hashes of what the sound layer played
// (page.tavimoErrors gathers console errors, uncaught exceptions and
// requests that failed or went elsewhere than the page's own files.)
import http from "node:http";
import fs from "node:fs";
import os from "node:os";
import path from "node:path";
import {pathToFileURL} from "node:url";
import puppeteer from "puppeteer-core";

const TYPES = {".html": "text/html", ".js": "text/javascript", ".wasm": "application/wasm"};

// Files of `dir` only; anything else is a 404 the test sees as an error.
function serve(folder) {
  const dir = path.resolve(folder);
  const server = http.createServer((request, response) => {
    const name = decodeURIComponent(new URL(request.url, "http://x").pathname).replace(/^\/+/, "");
    const file = path.join(dir, name || "index.html");
    if (!file.startsWith(dir + path.sep) || !fs.existsSync(file) || fs.statSync(file).isDirectory()) {
      response.writeHead(404);
      response.end();
      return;
    }
    response.writeHead(200, {"Content-Type": TYPES[path.extname(file)] || "application/octet-stream"});
    fs.createReadStream(file).pipe(response);
  });
  return new Promise((resolve) => server.listen(0, "127.0.0.1", () => resolve(server)));
}

// Runs in the page before its own scripts: the hooks the program calls.
function installHooks() {
  // tavimoReset starts a new record (before another run on the same page).
  window.tavimoReset = () => {
    window.tavimoRecord = {frames: [], grabs: [], clock: [],
                           audio: {hashes: [], started: false, hash: 0x811c9dc5, count: 0,
                                   callbacks: 0, late: 0}};
  };
  window.tavimoReset();
  window.tavimoGrabAt = [];
  // FNV-1a over the 16-bit samples of each second of stereo sound, counted
  // from the first sample that is not silent.
  const SECOND = 44100 * 2;
  function feed(a, value) {
    if (!a.started) {
      if (value === 0)
        return;
      a.started = true;
    }
    const v = value & 0xFFFF;
    a.hash = Math.imul(a.hash ^ (v & 0xFF), 0x01000193) >>> 0;
    a.hash = Math.imul(a.hash ^ (v >> 8), 0x01000193) >>> 0;
    if (++a.count === SECOND) {
      a.hashes.push(a.hash);
      a.hash = 0x811c9dc5;
      a.count = 0;
    }
  }
  window.tavimoTest = {
    onClock(ms) {
      const c = window.tavimoRecord.clock;
      if (c.length && c[c.length - 2] === ms)
        c[c.length - 1]++;
      else
        c.push(ms, 1);
    },
    onFrame(info) {
      const record = window.tavimoRecord;
      record.frames.push([info.clock, info.renderMs]);
      const want = window.tavimoGrabAt;
      if (want.length && info.clock >= want[0]) {
        want.shift();
        const rgba = info.pixels();
        let binary = "";
        for (let i = 0; i < rgba.length; i += 4)
          binary += String.fromCharCode(rgba[i], rgba[i + 1], rgba[i + 2]);
        record.grabs.push({clock: info.clock, pass: record.frames.length, rgb: btoa(binary)});
      }
    },
    onPlay(left, right, late) {
      const a = window.tavimoRecord.audio;
      a.callbacks++;
      if (late)
        a.late++;
      for (let i = 0; i < left.length; i++) {
        feed(a, Math.round(left[i] * 32768));
        feed(a, Math.round(right[i] * 32768));
      }
    },
  };
}

const CHROMIUM_ARGS = ["--no-sandbox", "--disable-gpu", "--disable-background-networking",
  "--disable-component-update", "--disable-sync", "--no-first-run",
  "--disable-background-timer-throttling", "--disable-renderer-backgrounding",
  "--disable-backgrounding-occluded-windows", "--window-size=960,600"];
// Sound may start from a click, as in chromium; no updates or first-run pages.
const FIREFOX_PREFS = {"media.autoplay.default": 0, "media.autoplay.blocking_policy": 0,
  "app.update.enabled": false, "browser.shell.checkDefaultBrowser": false,
  "dom.min_background_timeout_value": 4};

export async function openBrowser(dir, {browser: kind = "chromium", fromDisk = false} = {}) {
  const server = fromDisk ? null : await serve(dir);
  const base = fromDisk ? pathToFileURL(path.resolve(dir)).href + "/" :
                          `http://127.0.0.1:${server.address().port}/`;
  const port = server ? server.address().port : 0;
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), `tavimo-${kind}-`));
  const browser = await puppeteer.launch(kind === "firefox" ? {
    browser: "firefox",
    executablePath: "/usr/bin/firefox-esr",
    headless: true,
    userDataDir: profile,
    extraPrefsFirefox: FIREFOX_PREFS,
  } : {
    executablePath: "/usr/bin/chromium",
    headless: true,
    userDataDir: profile,
    args: CHROMIUM_ARGS,
  });
  return {
    port,
    async open(file) {
      const page = await browser.newPage();
      await page.setViewport({width: 960, height: 600});
      const errors = [];
      page.on("console", (m) => { if (m.type() === "error") errors.push(m.text()); });
      page.on("pageerror", (e) => errors.push(String(e)));
      page.on("requestfailed", (r) => errors.push("request failed: " + r.url()));
      page.on("request", (r) => {
        if (!r.url().startsWith(base) && !r.url().startsWith("data:"))
          errors.push("request outside the page's own files: " + r.url());
      });
      await page.evaluateOnNewDocument(installHooks);
      await page.goto(base + file, {waitUntil: "load"});
      await page.waitForSelector("body");
      page.tavimoErrors = errors;
      return page;
    },
    async close() {
      await browser.close();
      if (server)
        server.close();
      fs.rmSync(profile, {recursive: true, force: true});
    },
  };
}
