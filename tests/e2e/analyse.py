#!/usr/bin/python3
"""analyse.py -- checks for the end-to-end tests: properties each scene of
the show must have on screen, and the recorded sound against the offline
capture. Screenshots are brought back to 320x200 by point sampling.
Usage: analyse.py SCENE SCREENSHOT.png   (opening, band, swarm, mirror, tunnel)
       analyse.py audio DEVICE.raw CAPTURE.wav
       analyse.py close-window        (sends a window manager's close request)
Exits 0 when the property holds, 1 with a message when it does not."""
import math
import subprocess
import sys


def frame(path):
    """The screenshot as 200 rows of 320 (r, g, b) tuples."""
    ppm = subprocess.run(["convert", path, "-strip", "-sample", "320x200!", "-depth", "8", "ppm:-"],
                         check=True, capture_output=True).stdout
    # P6 header: magic, width, height, maxval, each followed by white space,
    # with comments from "#" to the end of a line.
    fields, pos = [], 0
    while len(fields) < 4:
        while ppm[pos:pos + 1].isspace() or ppm[pos:pos + 1] == b"#":
            if ppm[pos:pos + 1] == b"#":
                pos = ppm.index(b"\n", pos)
            pos += 1
        start = pos
        while not ppm[pos:pos + 1].isspace():
            pos += 1
        fields.append(ppm[start:pos])
    data = ppm[pos + 1:]
    return [[tuple(data[(y * 320 + x) * 3:(y * 320 + x) * 3 + 3]) for x in range(320)]
            for y in range(200)]


def row_mean(f, y):
    return sum(sum(p) for p in f[y]) / (320 * 3)


def fail(message):
    print("FAIL: " + message)
    sys.exit(1)


def check_opening(f):
    top = max(max(p) for row in f for p in row)
    if top == 0:
        fail("the opening picture is black")
    print(f"opening: brightest channel {top}")


def check_band(f):
    # Fully open band: black lines at rows 50 and 151, the picture between.
    line50 = row_mean(f, 50)
    inside = sum(row_mean(f, y) for y in range(60, 140)) / 80
    above = sum(row_mean(f, y) for y in range(0, 49)) / 49
    if line50 > 1 or inside <= 2 or above <= 2:
        fail(f"band: row 50 mean {line50:.1f}, rows 60-139 {inside:.1f}, rows 0-48 {above:.1f}")
    # Row 151 is the band's lower line; the scroll text (rows 150..169) may
    # add a few light pixels on it.
    line151 = row_mean(f, 151)
    if line151 > 8:
        fail(f"band: row 151 mean {line151:.1f}, expected a black line")
    print(f"band: row 50 {line50:.1f}, row 151 {line151:.1f}, inside {inside:.1f}")


def check_swarm(f):
    top = sum(row_mean(f, y) for y in range(0, 20)) / 20
    bottom = sum(row_mean(f, y) for y in range(180, 200)) / 20
    if not top < bottom:
        fail(f"swarm: top rows {top:.1f} not darker than bottom rows {bottom:.1f}")
    print(f"swarm: top {top:.1f} < bottom {bottom:.1f}")


def check_mirror(f):
    # The bottom 50 rows are the top 50 turned by half a turn, except the
    # top strip's text rows 30..49 (the text is drawn after both strips).
    total, count = 0, 0
    for y in range(0, 30):
        for x in range(320):
            a, b = f[y][x], f[199 - y][319 - x]
            total += sum(abs(a[i] - b[i]) for i in range(3))
            count += 3
    difference = total / count
    middle = sum(row_mean(f, y) for y in range(50, 150)) / 100
    if difference > 6 or middle == 0:
        fail(f"mirror: strips differ by {difference:.1f} on average; middle mean {middle:.1f}")
    print(f"mirror: strips differ by {difference:.2f} on average")


def check_tunnel(f):
    # The tube's wall pixels are blue at level v, green at v/2, red at v/4;
    # only the far end keeps whatever the frame held before.
    wall = bright = 0
    for row in f:
        for r, g, b in row:
            if b >= 16:
                bright += 1
                if abs(g - b // 2) <= 2 and abs(r - b // 4) <= 2:
                    wall += 1
    share = wall / 64000
    if share < 0.3:
        fail(f"tunnel: only {share:.0%} of the screen is blue tube wall")
    print(f"tunnel: {share:.0%} of the screen is blue tube wall")


def loudness(samples, rate, window):
    """RMS of each `window` seconds of interleaved stereo int16 samples."""
    step = int(rate * window) * 2
    out = []
    for i in range(0, len(samples) - step + 1, step):
        chunk = samples[i:i + step]
        out.append(math.sqrt(sum(s * s for s in chunk[::4]) / (len(chunk) / 4)))
    return out


def read_int16(data):
    import array
    a = array.array("h")
    a.frombytes(data[:len(data) // 2 * 2])
    return a


def music_start(env, threshold=20):
    return next((i for i, v in enumerate(env) if v > threshold), None)


def longest_quiet(env, start, window, threshold=20):
    longest = run = 0
    for v in env[start:]:
        run = run + 1 if v <= threshold else 0
        longest = max(longest, run)
    return longest * window


def check_audio(device_path, capture_path):
    window = 0.1
    device = read_int16(open(device_path, "rb").read())
    capture = read_int16(open(capture_path, "rb").read()[44:])
    dev_env, cap_env = loudness(device, 44100, window), loudness(capture, 44100, window)
    d0, c0 = music_start(dev_env), music_start(cap_env)
    if d0 is None:
        fail("the recorded sound is silent throughout")
    start_s = d0 * window
    if not 2.5 <= start_s <= 5.5:
        fail(f"the music starts {start_s:.1f} s into the recording, expected a little over 3 s")
    # The music runs to the end of the recording with no gap longer than
    # the music's own.
    dev_gap = longest_quiet(dev_env, d0, window)
    cap_gap = longest_quiet(cap_env, c0, window)
    if dev_gap > cap_gap + 0.5:
        fail(f"a gap of {dev_gap:.1f} s in the recorded sound; the music's longest is {cap_gap:.1f} s")
    # The first 30 s of music match the capture's loudness envelope.
    n = int(30 / window)
    a, b = dev_env[d0:d0 + n], cap_env[c0:c0 + n]
    n = min(len(a), len(b))
    a, b = a[:n], b[:n]
    ma, mb = sum(a) / n, sum(b) / n
    cov = sum((x - ma) * (y - mb) for x, y in zip(a, b))
    va = math.sqrt(sum((x - ma) ** 2 for x in a))
    vb = math.sqrt(sum((y - mb) ** 2 for y in b))
    corr = cov / (va * vb) if va and vb else 0
    if corr < 0.9:
        fail(f"the first 30 s of music correlate {corr:.3f} with the offline capture")
    print(f"audio: music from {start_s:.1f} s, longest gap {dev_gap:.1f} s (music's own {cap_gap:.1f} s), "
          f"loudness correlation {corr:.3f} over {n * window:.0f} s, "
          f"recorded {len(device) / 88200:.1f} s")


def close_window():
    """Sends WM_DELETE_WINDOW to the window named tavimo, as a window
    manager does when the user closes it."""
    from Xlib import X, display, protocol
    d = display.Display()
    root = d.screen().root
    delete = d.intern_atom("WM_DELETE_WINDOW")
    protocols = d.intern_atom("WM_PROTOCOLS")
    targets = [w for w in root.query_tree().children if w.get_wm_name() == "tavimo"]
    if not targets:
        fail("no window named tavimo")
    for w in targets:
        event = protocol.event.ClientMessage(window=w, client_type=protocols,
                                             data=(32, [delete, X.CurrentTime, 0, 0, 0]))
        w.send_event(event, event_mask=X.NoEventMask)
    d.flush()
    print(f"close request sent to {len(targets)} window(s)")


def main():
    if len(sys.argv) == 2 and sys.argv[1] == "close-window":
        close_window()
    elif len(sys.argv) == 4 and sys.argv[1] == "audio":
        check_audio(sys.argv[2], sys.argv[3])
    elif len(sys.argv) == 3 and sys.argv[1] in ("opening", "band", "swarm", "mirror", "tunnel"):
        globals()["check_" + sys.argv[1]](frame(sys.argv[2]))
    else:
        print(__doc__)
        sys.exit(2)


main()
