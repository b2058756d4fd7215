#!/usr/bin/python3
"""analyse.py -- checks for the end-to-end tests: properties each scene of
the show must have on screen, and the recorded sound against the offline
capture. Screenshots are brought back to 320x200 by point sampling.
Usage: analyse.py SCENE SCREENSHOT.png   (opening, band, swarm, mirror, tunnel)
       analyse.py audio DEVICE.raw CAPTURE.wav
       analyse.py same-sound DEVICE.raw REFERENCE.raw SECONDS
       analyse.py close-window        (sends a window manager's close request)
Exits 0 when the property holds, 1 with a message when it does not."""
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


RATE = 44100
FRAME = 4          # bytes in one frame of 16-bit stereo


def wav_data(data):
    """The data chunk of a WAV file's bytes."""
    pos = 12
    while pos + 8 <= len(data):
        size = int.from_bytes(data[pos + 4:pos + 8], "little")
        if data[pos:pos + 4] == b"data":
            return data[pos + 8:pos + 8 + size]
        pos += 8 + size + (size & 1)
    fail("no data chunk in the WAV file")


def first_sound(data):
    """The frame holding the first non-zero sample, or None when silent."""
    zeros = len(data) - len(data.lstrip(b"\0"))
    return None if zeros == len(data) else zeros // FRAME


def same_frames(a, i, b, j):
    """How many frames stay identical from frame i of a and frame j of b."""
    a, b = memoryview(a)[i * FRAME:], memoryview(b)[j * FRAME:]
    n = min(len(a), len(b)) // FRAME * FRAME
    done, step = 0, 1 << 16
    while done < n:
        size = min(step, n - done)
        if a[done:done + size] != b[done:done + size]:
            if size <= 64:
                while a[done:done + FRAME] == b[done:done + FRAME]:
                    done += FRAME
                return done // FRAME
            step = max(64, size // 8)
            continue
        done += size
    return n // FRAME


NEEDLE = 512       # frames: a piece of the recording looked for in the reference
SEARCH = 10        # seconds on either side of where the piece was expected
STEP = 441         # frames between the pieces tried


def find_again(rec, r, ref, f):
    """After the two part at frame r of rec and frame f of ref: the first
    later piece of rec found in ref within SEARCH seconds of where it was
    expected, as (rec frame, ref frame) of the start of its identical
    stretch, or None. Silent pieces are passed over: they match anywhere."""
    ref_frames = len(ref) // FRAME
    start = r - STEP
    while True:
        # Closely at first, then in larger steps through a long difference.
        start += STEP if start < r + RATE else 10 * STEP
        if start + NEEDLE > len(rec) // FRAME:
            return None
        needle = bytes(rec[start * FRAME:(start + NEEDLE) * FRAME])
        if len(set(needle[i:i + 2] for i in range(0, len(needle), 2))) < NEEDLE // 4:
            continue
        expect = f + start - r
        low = max(0, expect - SEARCH * RATE)
        high = min(ref_frames, expect + SEARCH * RATE + NEEDLE)
        best, at = None, ref.find(needle, low * FRAME, high * FRAME)
        while at >= 0:
            if at % FRAME == 0 and (best is None or abs(at // FRAME - expect) < abs(best - expect)):
                best = at // FRAME
            at = ref.find(needle, at + 1, high * FRAME)
        if best is not None:
            # Back to where the identical stretch begins.
            back = 0
            while (start - back > r and best - back > 0 and
                   rec[(start - back - 1) * FRAME:(start - back) * FRAME] ==
                   ref[(best - back - 1) * FRAME:(best - back) * FRAME]):
                back += 1
            return start - back, best - back


STRETCHES = 16    # followed at most


def compare_sound(rec, ref, limit=STRETCHES):
    """Lines up two recordings of 16-bit stereo at their first non-zero
    sample and follows them: a list of identical stretches (rec frame, ref
    frame, frames). When they part, the next stretch starts where a later
    piece of rec is found in ref again, at another offset when the device
    fell behind (or skipped ahead). Empty when either is silent."""
    r, f = first_sound(rec), first_sound(ref)
    if r is None or f is None:
        return []
    stretches = []
    while len(stretches) < limit:
        n = same_frames(rec, r, ref, f)
        stretches.append((r, f, n))
        r, f = r + n, f + n
        if r >= len(rec) // FRAME or f >= len(ref) // FRAME:
            break
        again = find_again(rec, r, ref, f)
        if again is None:
            break
        r, f = again
    return stretches


def describe(stretches, rec_frames, ref_frames, names=("recording", "capture")):
    """One line per stretch: where it starts, how long it stays identical,
    and how far each later stretch lies from the first one's offset."""
    lines = []
    r0, f0, _ = stretches[0]
    for k, (r, f, n) in enumerate(stretches):
        if k == 0:
            line = (f"from {r / RATE:.3f} s into the {names[0]} ({f / RATE:.3f} s into the "
                    f"{names[1]}): identical for {n / RATE:.3f} s")
        else:
            prev_r, prev_f, prev_n = stretches[k - 1]
            lag = (r - f) - (prev_r - prev_f)
            how = (f"it fell behind the {names[1]} by {lag / RATE:.3f} s" if lag > 0 else
                   f"it skipped ahead of the {names[1]} by {-lag / RATE:.3f} s" if lag < 0 else
                   f"after {r - prev_r - prev_n} frames that differ it is back in step")
            line = (f"at {r / RATE:.3f} s into the {names[0]} {how}"
                    f" ({names[1]} at {f / RATE:.3f} s): identical for {n / RATE:.3f} s more")
        lines.append(line)
    r, f, n = stretches[-1]
    if r + n >= rec_frames:
        lines.append(f"identical to the end of the {names[0]}")
    elif f + n >= ref_frames:
        lines.append(f"identical to the end of the {names[1]}")
    elif len(stretches) >= STRETCHES:
        lines.append(f"(followed no further than {STRETCHES} stretches)")
    else:
        lines.append(f"past {(r + n) / RATE:.3f} s no later piece of the {names[0]} "
                     f"is found in the {names[1]}")
    return lines


def check_sound(rec, ref, need_seconds, names):
    """Fails unless rec is identical to ref, from their first sound on, for
    need_seconds at least (or to the end of the shorter). Prints the stretches."""
    stretches = compare_sound(rec, ref)
    if not stretches:
        fail(f"the {names[0] if first_sound(rec) is None else names[1]} is silent throughout")
    for line in describe(stretches, len(rec) // FRAME, len(ref) // FRAME, names):
        print("  " + line)
    r, f, n = stretches[0]
    to_end = r + n >= len(rec) // FRAME or f + n >= len(ref) // FRAME
    if n < need_seconds * RATE and not to_end:
        fail(f"the {names[0]} differs from the {names[1]} {n / RATE:.3f} s after its first "
             f"sound ({(r + n) / RATE:.3f} s into the {names[0]}); at least {need_seconds} s "
             f"must be identical")
    return stretches


def check_audio(device_path, capture_path):
    """The device's recording against the offline capture: the music starts
    a little over 3 s in and is the capture's, sample for sample, for the
    first 20 s of music at least."""
    device = open(device_path, "rb").read()
    capture = wav_data(open(capture_path, "rb").read())
    start = first_sound(device)
    if start is None:
        fail("the recorded sound is silent throughout")
    if not 2.5 <= start / RATE <= 5.5:
        fail(f"the music starts {start / RATE:.3f} s into the recording, expected a little over 3 s")
    print(f"audio: {len(device) / FRAME / RATE:.1f} s recorded, against the capture:")
    stretches = check_sound(device, capture, 20, ("recording", "capture"))
    same = sum(n for _, _, n in stretches)
    music = len(device) // FRAME - start
    print(f"audio: {stretches[0][2] / RATE:.3f} s identical from the first sound; "
          f"{same / RATE:.1f} of the recording's {music / RATE:.1f} s of sound found "
          f"identical in the capture")


def check_same_sound(path, reference_path, need_seconds):
    """Two device recordings of the same show: identical from their first
    sound for need_seconds (or to the end of the shorter)."""
    check_sound(open(path, "rb").read(), open(reference_path, "rb").read(), need_seconds,
                ("recording", "reference"))


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
    elif len(sys.argv) == 5 and sys.argv[1] == "same-sound":
        check_same_sound(sys.argv[2], sys.argv[3], float(sys.argv[4]))
    elif len(sys.argv) == 3 and sys.argv[1] in ("opening", "band", "swarm", "mirror", "tunnel"):
        globals()["check_" + sys.argv[1]](frame(sys.argv[2]))
    else:
        print(__doc__)
        sys.exit(2)


if __name__ == "__main__":
    main()
