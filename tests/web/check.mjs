// check.mjs -- judges what show_test.mjs recorded: the kept frames by the
// scene checks of the native end-to-end test (tests/e2e/analyse.py) and
// against the native program's frames at the same clock readings
// (web_replay), the sound against the offline rendering (tavimo-capture).
// Prints the figures and one line per failure; exits 1 when anything failed.
// Usage: node check.mjs OUT_DIR TAVIMO_CAPTURE WEB_REPLAY ANALYSE_PY
import {execFileSync} from "node:child_process";
import fs from "node:fs";
import path from "node:path";

const [out, capture, replay, analyse] = process.argv.slice(2);
if (!out || !capture || !replay || !analyse) {
  console.error("usage: node check.mjs OUT_DIR TAVIMO_CAPTURE WEB_REPLAY ANALYSE_PY");
  process.exit(2);
}
const result = JSON.parse(fs.readFileSync(path.join(out, "result.json"), "utf8"));
const failures = [];
function expect(ok, message) {
  if (!ok)
    failures.push(message);
  return ok;
}
const median = (a) => { const s = [...a].sort((x, y) => x - y); return s.length ? s[s.length >> 1] : NaN; };
const percentile = (a, p) => { const s = [...a].sort((x, y) => x - y); return s.length ? s[Math.min(s.length - 1, Math.floor(s.length * p))] : NaN; };

// The scene each kept frame must show, by the show time it was asked for.
const SCENES = [[5000, "opening"], [20000, "band"], [56000, "swarm"], [90000, "mirror"], [145000, "tunnel"]];

// FNV-1a per second of 16-bit stereo from the first sample that is not
// silent, as the page's hook computes it.
function secondHashes(samples) {
  const hashes = [];
  let i = 0;
  while (i < samples.length && samples[i] === 0)
    i++;
  const SECOND = 44100 * 2;
  for (; i + SECOND <= samples.length; i += SECOND) {
    let h = 0x811c9dc5;
    for (let j = i; j < i + SECOND; j++) {
      const v = samples[j] & 0xFFFF;
      h = Math.imul(h ^ (v & 0xFF), 0x01000193) >>> 0;
      h = Math.imul(h ^ (v >> 8), 0x01000193) >>> 0;
    }
    hashes.push(h);
  }
  return hashes;
}

function wavSamples(file) {
  const data = fs.readFileSync(file);
  let pos = 12;
  while (pos + 8 <= data.length) {
    const id = data.toString("latin1", pos, pos + 4), size = data.readUInt32LE(pos + 4);
    if (id === "data")
      return new Int16Array(data.buffer.slice(data.byteOffset + pos + 8, data.byteOffset + pos + 8 + size));
    pos += 8 + size + (size & 1);
  }
  throw new Error(`no data chunk in ${file}`);
}

// The RGB bytes of a binary PPM written by the page's test or web_replay.
const ppmPixels = (file) => fs.readFileSync(file).subarray(15);  // "P6\n320 200\n255\n"

// Shares of pixels equal, and with every channel within 2 levels.
function likeness(a, b) {
  let equal = 0, close = 0;
  for (let i = 0; i < a.length; i += 3) {
    const d = Math.max(Math.abs(a[i] - b[i]), Math.abs(a[i + 1] - b[i + 1]), Math.abs(a[i + 2] - b[i + 2]));
    if (d === 0)
      equal++;
    if (d <= 2)
      close++;
  }
  return {equal: equal / (a.length / 3), close: close / (a.length / 3)};
}

// The page itself.
expect(result.errors && result.errors.length === 0,
       `console errors or failed requests: ${JSON.stringify(result.errors)}`);
expect(result.before && !result.before.hidden && result.before.button === "click to start",
       `before the click the page offers ${JSON.stringify(result.before)}`);

const whole = result.wholeShow;
if (expect(whole, "the whole show did not run to its end")) {
  const frames = whole.record.frames;
  const last = frames.length ? frames[frames.length - 1][0] : -1;
  expect(last >= 153000 && last <= 160000, `the last frame came at show time ${last} ms, expected 153000..160000`);
  expect(whole.end.note === "The end." && whole.end.button === "watch again",
         `at the end the page says ${JSON.stringify(whole.end)}`);
  let longest = 0;
  for (let i = 1; i < frames.length; i++)
    longest = Math.max(longest, frames[i][0] - frames[i - 1][0]);
  const seconds = (last - frames[0][0]) / 1000;
  console.log(`frames: ${frames.length} in ${seconds.toFixed(1)} s, ${(frames.length / seconds).toFixed(1)} per second; ` +
              `longest gap ${longest} ms; show ended at ${last} ms`);

  // Main-thread time per frame pass, by scene (the opening starts about
  // 3.1 s in: the start-up wait and the 100 ms before the first pass).
  const spans = [["opening", 3100, 51100], ["swarm", 51100, 61100], ["raytracer", 61100, 141100], ["tube", 141100, 156100]];
  for (const [name, from, to] of spans) {
    const ms = frames.filter((f) => f[0] > from + 200 && f[0] < to - 200).map((f) => f[1]);
    console.log(`wasm frame time ${name}: median ${median(ms).toFixed(2)} ms, 95th percentile ` +
                `${percentile(ms, 0.95).toFixed(2)} ms over ${ms.length} frames`);
  }
}

// The native program's frames at the same clock readings and passes.
const grabs = whole ? whole.record.grabs : [];
expect(grabs.length === SCENES.length, `${grabs.length} frames kept, expected ${SCENES.length}`);
const nativeDir = path.join(out, "native");
fs.mkdirSync(nativeDir, {recursive: true});
let replayed = grabs.length > 0;
if (replayed) {
  try {
    execFileSync(replay, [whole.record.clockFile, nativeDir, grabs.map((g) => g.pass).join(",")],
                 {stdio: ["ignore", "ignore", "inherit"]});
  } catch (e) {
    replayed = expect(false, "web_replay failed");
  }
}
grabs.forEach((g, i) => {
  const scene = SCENES[i] ? SCENES[i][1] : "opening";
  try {
    console.log(execFileSync("python3", [analyse, scene, g.file], {encoding: "utf8"}).trim());
  } catch (e) {
    failures.push(`${scene} at ${g.clock} ms: ${String(e.stdout || e).trim()}`);
  }
  if (!replayed)
    return;
  const like = likeness(ppmPixels(g.file), ppmPixels(path.join(nativeDir, `pass-${g.pass}.ppm`)));
  console.log(`${scene} at ${g.clock} ms (pass ${g.pass}): ${(100 * like.close).toFixed(2)}% of pixels within ` +
              `2 levels of the native frame, ${(100 * like.equal).toFixed(2)}% equal`);
  expect(like.close >= 0.99, `${scene} at ${g.clock} ms: only ${(100 * like.close).toFixed(2)}% of pixels match`);
});

// Sound: what the page played equals the offline mixer's blocks.
const wav = path.join(out, "capture.wav");
execFileSync(capture, ["--wav", wav], {stdio: ["ignore", "ignore", "inherit"]});
const offline = secondHashes(wavSamples(wav));
function compareSound(name, audio, leastSeconds) {
  const n = Math.min(audio.hashes.length, offline.length);
  let equal = 0;
  while (equal < n && audio.hashes[equal] === offline[equal])
    equal++;
  console.log(`${name}: ${equal} of ${n} seconds of sound equal to the offline rendering ` +
              `(${offline.length} offline); ${audio.callbacks} audio callbacks, ${audio.late} late`);
  expect(n >= leastSeconds, `${name}: only ${n} seconds of sound to compare`);
  expect(equal === n, `${name}: the sound differs from the offline rendering from second ${equal} on`);
  expect(audio.late === 0, `${name}: ${audio.late} audio callbacks came after their frames were due`);
}
if (whole)
  compareSound("whole show", whole.record.audio, 145);

// Slow frames, then Escape.
const damaged = result.damaged;
if (expect(damaged, "the page with damaged assets was not tried")) {
  expect(damaged.end.note === "The show could not start (exit code 1).",
         `the page with damaged assets ended with ${JSON.stringify(damaged.end)}`);
  expect(damaged.errors.length === 0, `the page with damaged assets: ${JSON.stringify(damaged.errors)}`);
}

const escape = result.escape;
if (expect(escape, "the second run did not end on Escape")) {
  const frames = escape.record.frames;
  const slow = frames.slice(1).map((f, i) => f[0] - frames[i][0]);
  console.log(`slow run: ${frames.length} frames, median ${median(slow)} ms apart; Escape at ` +
              `${escape.pressedAtClock} ms ended the show ${escape.endedAfterMs} ms later`);
  expect(median(slow) >= 50, `slow run: frames ${median(slow)} ms apart, expected at least 50`);
  expect(escape.endedAfterMs < 2000, `Escape ended the show only after ${escape.endedAfterMs} ms`);
  expect(escape.framesAfterEnd === 0, `${escape.framesAfterEnd} frames came after the end`);
  expect(escape.end.button === "watch again", `after Escape the page says ${JSON.stringify(escape.end)}`);
  compareSound("slow run", escape.record.audio, 5);
}

for (const f of failures)
  console.log("FAIL: " + f);
console.log(failures.length ? `web show: ${failures.length} checks failed` : "web show: all checks passed");
process.exit(failures.length ? 1 : 0);
