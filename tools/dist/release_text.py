#!/usr/bin/env python3
"""release_text.py -- tavimo.txt, the text a release archive carries.

Usage: release_text.py DIR VERSION

Writes DIR/tavimo.txt: what the show is, how to start it on each platform,
its exit codes, every file of DIR with its byte size (SHA256SUMS, written
after this text, included: its size follows from the names), the version,
the tools, the credits and the licence, in plain ASCII within 80 columns.
"""
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))

# The files of a release, in the order the text lists them, with what each is.
FILES = [
    ("tavimo-64k.exe", "the show for Windows (32-bit, packed)"),
    ("tavimo-64k", "the show for Linux (x86-64, packed)"),
    ("tavimo.html", "the show in a web browser, one file"),
    ("player.html", "the XM module player in a web browser"),
    ("tavimo.mp4", "the whole show as a video, with sound"),
    ("tavimo.png", "the opening picture"),
    ("tavimo-opening.png", "the opening with its scrolling text"),
    ("tavimo-swarm.png", "the swarm of ten thousand points"),
    ("tavimo-raytracer.png", "the ray tracer"),
    ("tavimo-tube.png", "the flight down the tube"),
    ("tavimo.txt", "this text"),
    ("SHA256SUMS", "the SHA-256 of every other file"),
]
TEXT = "tavimo.txt"
SUMS = "SHA256SUMS"

BODY = """\
tavimo {version}
{rule}

A real-time audiovisual show in 320x200, in the tradition of size-limited
demo competitions. One small program takes over the screen, plays a
FastTracker 2 XM module through its own loader, replay engine and software
mixer, and shows a fixed timeline of software-rendered scenes for about two
and a half minutes: a colour-cycling opening picture with a scrolling text,
a swarm of ten thousand points, a ray tracer traced anew every frame and a
flight down an XOR-textured tube. Then it ends by itself. Everything it
shows and plays is inside the program; it reads no files.

How to start it
---------------

Windows (2000 and later, 32- or 64-bit):
  Double-click tavimo-64k.exe. It switches the screen to 320x200 and gives
  the previous mode back at the end. Escape quits at once. The file is
  packed (it unpacks itself in memory); some virus scanners distrust packed
  programs as such: compare its checksum with SHA256SUMS.

Linux (x86-64 desktop, Debian or Ubuntu):
  Needs SDL2 and xz:  sudo apt-get install libsdl2-2.0-0 xz-utils
  Then:  chmod +x tavimo-64k && ./tavimo-64k
  Full screen; Escape, or closing the window, quits at once.

Web browser (a current Firefox, Chromium or Chrome):
  Open tavimo.html, straight from disk; click to start. Full screen where
  the browser allows; Escape, or leaving full screen, ends it.
  player.html plays any .xm module through the same engine: open a file or
  drop it on the page (the file never leaves the machine).

Video:
  tavimo.mp4 is the whole show with its sound, each pixel a 4x4 block
  (1280x800, H.264 and AAC), for those who cannot run it.

Exit codes
----------

  0   the show ended, or Escape was pressed
  1   the packed file is damaged (it could not unpack itself)
  2   no display could be opened (for example no X server), or on Windows
      the display refused the 320x200 mode
  3   no sound device could be opened
  15  memory ran out at start

Files
-----

{files}

Check them with:  sha256sum -c SHA256SUMS

Made with
---------

C++ built with GCC (Linux), mingw-w64 (Windows) and emscripten (web);
packed with our own packers and xz; the video encoded with ffmpeg (x264,
AAC). The Linux show uses SDL2 and the C library, the Windows show only
Windows' own DLLs, the pages nothing but the browser.

Credits
-------

Code, music and pictures: the tavimo developers. The music (an XM module)
is written by tavimo's own music generator and the pictures, palette and
font by its own picture generators, from their source code; nothing in the
show was drawn or played by hand or taken from elsewhere.

Licence
-------

{license}"""


def render(folder, version, text_size):
    sizes = {}
    for name, _ in FILES:
        if name == TEXT:
            sizes[name] = text_size
        elif name == SUMS:
            # One line per other file: 64 hex digits, two spaces, the name.
            sizes[name] = sum(64 + 2 + len(n) + 1 for n, _ in FILES if n != SUMS)
        else:
            sizes[name] = os.path.getsize(os.path.join(folder, name))
    width = max(len(n) for n, _ in FILES)
    lines = [f"  {name:<{width}} {sizes[name]:>9} bytes  {what}" for name, what in FILES]
    with open(os.path.join(ROOT, "LICENSE"), encoding="ascii") as f:
        license_text = f.read().rstrip("\n")
    title = f"tavimo {version}"
    return BODY.format(version=version, rule="=" * len(title), files="\n".join(lines),
                       license=license_text) + "\n"


def main(argv):
    if len(argv) != 3:
        print("usage: release_text.py DIR VERSION", file=sys.stderr)
        return 2
    folder, version = argv[1], argv[2]
    try:
        # The text states its own size: render until the size it states is
        # the size it has (two passes at most, as only digits move).
        size = 0
        for _ in range(4):
            text = render(folder, version, size)
            if len(text.encode("ascii")) == size:
                break
            size = len(text.encode("ascii"))
        else:
            raise ValueError("the text's size does not settle")
        for number, line in enumerate(text.splitlines(), 1):
            if len(line) > 80:
                raise ValueError(f"line {number} is wider than 80 columns")
        with open(os.path.join(folder, TEXT), "w", encoding="ascii", newline="\n") as f:
            f.write(text)
    except (OSError, ValueError, UnicodeError) as e:
        print(f"release_text.py: {e}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
