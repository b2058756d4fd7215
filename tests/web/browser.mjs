// browser.mjs -- the browser side of the web tests: serves a build folder on
// localhost, starts Debian's chromium headless over the DevTools protocol
// (puppeteer-core, no browser of its own) and gives a page with the test
// hooks of runtime/web/pre.js installed as window.tavimoTest.
//
// Another page's test reuses it: `const b = await openBrowser(dir)`, then
// `const page = await b.open("player.html")`, drive the page, `b.close()`.
// The hooks record into window.tavimoRecord (see installHooks):
//   frames      one [clock, renderMs] per presented frame
//   grabs       frames kept at requested show times (window.tavimoGrabAt)
//   audio       per-second hashes of what the sound layer played
//   errors      console errors and uncaught exceptions
import http from "node:http";
import fs from "node:fs";
import os from "node:os";
import path from "node:path";
import puppeteer from "puppeteer-core";

const TYPES = {".html": "text/html", ".js": "text/javascript", ".wasm": "application/wasm"};

// Files of `dir` only; anything else is a 404 the test sees as an error.
function serve(dir) {
  const server = http.createServer((request, response) => {
    const name = decodeURIComponent(new URL(request.url, "http://x").pathname).replace(/^\/+/, "");
    const file = path.join(dir, name || "index.html");
    if (!file.startsWith(path.resolve(dir)) || !fs.existsSync(file) || fs.statSync(file).isDirectory()) {
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
  const record = {frames: [], grabs: [], audio: {hashes: [], started: false, samples: 0,
                                                 hash: 0x811c9dc5, count: 0, late: 0},
                  errors: []};
  window.tavimoRecord = record;
  window.tavimoGrabAt = [];
  // FNV-1a over the 16-bit samples of each second of stereo sound, counted
  // from the first sample that is not silent.
  const SECOND = 44100 * 2;
  function feed(value) {
    const a = record.audio;
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
    onFrame(info) {
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
    onPlay(left, right) {
      for (let i = 0; i < left.length; i++) {
        feed(Math.round(left[i] * 32768));
        feed(Math.round(right[i] * 32768));
      }
    },
  };
}

export async function openBrowser(dir, {executable = "/usr/bin/chromium"} = {}) {
  const server = await serve(dir);
  const port = server.address().port;
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), "tavimo-chromium-"));
  const browser = await puppeteer.launch({
    executablePath: executable,
    headless: true,
    userDataDir: profile,
    args: ["--no-sandbox", "--disable-gpu", "--disable-background-networking",
           "--disable-component-update", "--disable-sync", "--no-first-run",
           "--disable-background-timer-throttling", "--disable-renderer-backgrounding",
           "--disable-backgrounding-occluded-windows", "--window-size=960,600"],
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
        if (!r.url().startsWith(`http://127.0.0.1:${port}/`))
          errors.push("request outside the page's own files: " + r.url());
      });
      await page.evaluateOnNewDocument(installHooks);
      await page.goto(`http://127.0.0.1:${port}/${file}`, {waitUntil: "load"});
      page.tavimoErrors = errors;
      return page;
    },
    async close() {
      await browser.close();
      server.close();
      fs.rmSync(profile, {recursive: true, force: true});
    },
  };
}
