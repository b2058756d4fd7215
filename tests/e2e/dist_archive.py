#!/usr/bin/env python3
"""dist_archive.py -- the release archive `make dist` wrote, checked against
the builds it came from.

Usage: dist_archive.py SOURCE_DIR TAVIMO_CAPTURE

In SOURCE_DIR/build-dist: one folder tavimo-VERSION (the tree's version) and
its zip, which holds exactly the release's files and nothing else, each
equal to the folder's; the packed shows equal to the release builds byte for
byte; SHA256SUMS holds every other file's hash and they verify; tavimo.txt
names the version and the licence, states each file's size as it is, and
keeps to ASCII within 80 columns; tavimo.mp4 is about 153 s of 1280x800
H.264 with stereo AAC, and its frame at 20 s is tavimo-capture's at that
show time in 4x4 blocks, but for a small coding error; the screenshots are
tavimo-capture's frames in 4x4 blocks. Exits 77 (skipped) where there is no
archive (make dist makes it).
"""
import hashlib
import json
import os
import re
import subprocess
import sys
import tempfile
import zipfile

FILES = {"tavimo-64k.exe", "tavimo-64k", "tavimo.html", "player.html", "tavimo.mp4",
         "tavimo.png", "tavimo-opening.png", "tavimo-swarm.png", "tavimo-raytracer.png",
         "tavimo-tube.png", "tavimo.txt", "SHA256SUMS"}
# The screenshots and the show times (ms) they are taken at.
SHOTS = {"tavimo.png": 12000, "tavimo-opening.png": 20000, "tavimo-swarm.png": 53000,
         "tavimo-raytracer.png": 90000, "tavimo-tube.png": 145000}

failures = 0


def check(ok, what, detail=""):
    global failures
    print(("ok   " if ok else "FAIL ") + what + (": " + detail if detail else ""))
    if not ok:
        failures += 1


def read(path):
    with open(path, "rb") as f:
        return f.read()


def rgb_of(path_or_args, seek=None):
    """A picture or a video's frame as raw RGB bytes and its size, by ffmpeg."""
    args = ["ffmpeg", "-v", "error"]
    if seek is not None:
        args += ["-ss", seek]
    args += ["-i", path_or_args, "-frames:v", "1", "-f", "rawvideo", "-pix_fmt", "rgb24", "-"]
    data = subprocess.run(args, check=True, capture_output=True).stdout
    probe = json.loads(subprocess.run(
        ["ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries",
         "stream=width,height", "-of", "json", path_or_args],
        check=True, capture_output=True).stdout)["streams"][0]
    return data, probe["width"], probe["height"]


def blocks(rgb, width, height, k):
    """Each pixel of a picture as a k x k block."""
    out = bytearray()
    for y in range(height):
        row = bytearray()
        for x in range(width):
            row += rgb[(y * width + x) * 3:(y * width + x) * 3 + 3] * k
        out += bytes(row) * k
    return bytes(out)


def main(argv):
    if len(argv) != 3:
        print("usage: dist_archive.py SOURCE_DIR TAVIMO_CAPTURE", file=sys.stderr)
        return 2
    source, capture = argv[1], argv[2]
    dist = os.path.join(source, "build-dist")
    folders = [d for d in os.listdir(dist) if os.path.isdir(os.path.join(dist, d))
               and d.startswith("tavimo-")] if os.path.isdir(dist) else []
    if not folders:
        print(f"SKIP: no release in {dist} (make dist makes it)", file=sys.stderr)
        return 77
    version = subprocess.run(["bash", os.path.join(source, "tools/dist/version.sh")],
                             check=True, capture_output=True, text=True).stdout.strip()
    name = "tavimo-" + version
    check(folders == [name], "one release folder, named by the tree's version", ", ".join(folders))
    folder = os.path.join(dist, name)
    if not os.path.isdir(folder):
        return 1

    # The folder and the archive hold exactly the release's files.
    present = set(os.listdir(folder))
    check(present == FILES, "the folder holds exactly the release's files",
          f"missing {sorted(FILES - present)}, extra {sorted(present - FILES)}")
    try:
        with zipfile.ZipFile(os.path.join(dist, name + ".zip")) as z:
            entries = {i.filename: i for i in z.infolist()}
            want = {f"{name}/{f}" for f in FILES}
            check(set(entries) == want, "the zip holds exactly them, in the release's folder",
                  f"missing {sorted(want - set(entries))}, extra {sorted(set(entries) - want)}")
            differ = [e for e in sorted(want & set(entries))
                      if z.read(e) != read(os.path.join(dist, e))]
            check(not differ, "each equal to the folder's", ", ".join(differ))
            mode = entries.get(f"{name}/tavimo-64k")
            check(mode is not None and (mode.external_attr >> 16) & 0o111 != 0,
                  "tavimo-64k is executable when unpacked")
    except (OSError, zipfile.BadZipFile) as e:
        check(False, "the zip can be read", str(e))

    # The packed shows are the release builds.
    for shipped, built in (("tavimo-64k.exe", "build-release-win32/tavimo-64k.exe"),
                           ("tavimo-64k", "build-release/tavimo-64k")):
        a, b = os.path.join(folder, shipped), os.path.join(source, built)
        check(os.path.isfile(a) and os.path.isfile(b) and read(a) == read(b),
              f"{shipped} is {built} byte for byte")

    # SHA256SUMS: every other file, each hash right.
    sums, unread = {}, []
    for line in read(os.path.join(folder, "SHA256SUMS")).decode().splitlines():
        m = re.fullmatch(r"([0-9a-f]{64})  (\S+)", line)
        if m:
            sums[m.group(2)] = m.group(1)
        else:
            unread.append(line)
    check(not unread, "each line of SHA256SUMS reads 'HASH  NAME'", "; ".join(unread))
    check(set(sums) == FILES - {"SHA256SUMS"}, "SHA256SUMS lists every other file",
          ", ".join(sorted(set(sums) ^ (FILES - {"SHA256SUMS"}))))
    wrong = [f for f, h in sums.items() if os.path.isfile(os.path.join(folder, f))
             and hashlib.sha256(read(os.path.join(folder, f))).hexdigest() != h]
    check(not wrong, "and each hash verifies", ", ".join(wrong))

    # tavimo.txt: the sizes as they are, the version, the licence, the form.
    text = read(os.path.join(folder, "tavimo.txt"))
    try:
        text = text.decode("ascii")
    except UnicodeDecodeError:
        check(False, "tavimo.txt is ASCII")
        text = text.decode("latin-1")
    wide = [i + 1 for i, line in enumerate(text.splitlines()) if len(line) > 80]
    check(not wide, "tavimo.txt keeps within 80 columns", f"lines {wide}")
    stated = dict(re.findall(r"^  (\S+) +(\d+) bytes", text, re.M))
    check(set(stated) == FILES, "tavimo.txt states a size for each file",
          ", ".join(sorted(set(stated) ^ FILES)))
    off = [f"{f} says {s}, is {os.path.getsize(os.path.join(folder, f))}"
           for f, s in stated.items() if os.path.isfile(os.path.join(folder, f))
           and int(s) != os.path.getsize(os.path.join(folder, f))]
    check(not off, "and each is the file's size", "; ".join(off))
    check(f"tavimo {version}" in text and "MIT License" in text,
          "tavimo.txt names the version and carries the licence")

    # The video.
    probe = json.loads(subprocess.run(
        ["ffprobe", "-v", "error", "-show_entries",
         "format=duration:stream=codec_type,codec_name,width,height,channels",
         "-of", "json", os.path.join(folder, "tavimo.mp4")],
        check=True, capture_output=True).stdout)
    duration = float(probe["format"]["duration"])
    video = [s for s in probe["streams"] if s["codec_type"] == "video"]
    audio = [s for s in probe["streams"] if s["codec_type"] == "audio"]
    check(150 <= duration <= 160, "tavimo.mp4 lasts about 153 s", f"{duration:.2f} s")
    check(len(video) == 1 and video[0]["codec_name"] == "h264" and
          (video[0]["width"], video[0]["height"]) == (1280, 800),
          "one H.264 stream, 1280x800", json.dumps(video))
    check(len(audio) == 1 and audio[0]["codec_name"] == "aac" and audio[0]["channels"] == 2,
          "one stereo AAC stream", json.dumps(audio))

    with tempfile.TemporaryDirectory() as scratch:
        times = ",".join(str(t) for t in sorted(set(SHOTS.values())))
        subprocess.run([capture, "--png", scratch, "--at", times], check=True,
                       capture_output=True)
        frames = {t: rgb_of(os.path.join(scratch, f"frame-{t:06d}.png"))[0]
                  for t in set(SHOTS.values())}
        for shot, t in SHOTS.items():
            rgb, w, h = rgb_of(os.path.join(folder, shot))
            check((w, h) == (1280, 800) and rgb == blocks(frames[t], 320, 200, 4),
                  f"{shot} is the frame at {t} ms in 4x4 blocks")
        # The video's frame at 20 s against the capture's, scaled up: every
        # channel of every pixel within a coding error, and nearly all close.
        got, w, h = rgb_of(os.path.join(folder, "tavimo.mp4"), seek="20")
        want = blocks(frames[20000], 320, 200, 4)
        if (w, h) == (1280, 800) and len(got) == len(want):
            errors = [abs(a - b) for a, b in zip(got, want)]
            mean = sum(errors) / len(errors)
            far = sum(1 for e in errors if e > 24) / len(errors)
            check(mean < 2.0 and far < 0.002,
                  "the video's frame at 20 s is the show's at 20000 ms in 4x4 blocks",
                  f"mean error {mean:.2f} of 255, {far * 100:.3f}% of values off by more than 24")
        else:
            check(False, "the video's frame at 20 s can be read", f"{w}x{h}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
