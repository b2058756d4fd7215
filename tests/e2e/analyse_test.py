#!/usr/bin/python3
"""analyse_test.py -- the exact sound comparison of analyse.py on made-up
recordings: a device that plays the capture faithfully, one that loses a
block, one that falls behind and replays a stale block, and silence."""
import contextlib
import io
import os
import random
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import analyse  # noqa: E402

RATE, FRAME = analyse.RATE, analyse.FRAME
BLOCK = 1024 * FRAME  # one device block of bytes


def silence(seconds):
    return bytes(int(seconds * RATE) * FRAME)


def at(seconds):
    return int(seconds * RATE) * FRAME


class SoundComparison(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        # 40 s of noise: stands in for the music, every piece of it unique.
        cls.music = random.Random(7).randbytes(at(40))
        cls.capture = silence(3.869) + cls.music

    def check(self, recording, need=20):
        out = io.StringIO()
        with contextlib.redirect_stdout(out):
            try:
                stretches = analyse.check_sound(recording, self.capture, need,
                                                ("recording", "capture"))
            except SystemExit as end:
                return end.code, None, out.getvalue()
        return 0, stretches, out.getvalue()

    def test_faithful_device_aligns_on_the_first_sound(self):
        # Another lead-in of silence, and the recording cut short at its end.
        code, stretches, out = self.check(silence(3.607) + self.music[:at(35)] + silence(0.5))
        self.assertEqual(code, 0, out)
        self.assertEqual(stretches[0], (int(3.607 * RATE), int(3.869 * RATE), at(35) // FRAME))
        self.assertIn("identical for 35.000 s", out)

    def test_one_dropped_block_fails_and_names_the_moment(self):
        cut = at(10)
        recording = silence(3.607) + self.music[:cut] + self.music[cut + BLOCK:]
        code, _, out = self.check(recording)
        self.assertEqual(code, 1)
        self.assertIn("differs from the capture 10.000 s after its first sound", out)
        self.assertIn("13.607 s into the recording", out)
        self.assertIn(f"it skipped ahead of the capture by {1024 / RATE:.3f} s", out)

    def test_device_falling_behind_after_20_s_passes_and_is_reported(self):
        # At 25 s the ring is replayed one block late: a stale block, then the
        # rest of the music one block later than before.
        late = at(25)
        recording = (silence(3.6) + self.music[:late] + self.music[late - BLOCK:late]
                     + self.music[late:])
        code, stretches, out = self.check(recording)
        self.assertEqual(code, 0, out)
        self.assertEqual(stretches[0][2], late // FRAME)
        last_r, last_f, last_n = stretches[-1]
        self.assertEqual((last_r - last_f) - (stretches[0][0] - stretches[0][1]), 1024)
        self.assertEqual(last_r + last_n, len(recording) // FRAME)
        self.assertIn(f"it fell behind the capture by {1024 / RATE:.3f} s", out)
        self.assertIn("identical to the end of the recording", out)

    def test_a_single_changed_sample_ends_the_identical_stretch(self):
        recording = bytearray(silence(1) + self.music)
        recording[at(1) + at(5) + 7 * FRAME + 2] ^= 1
        code, stretches, out = self.check(bytes(recording), need=5)
        self.assertEqual(code, 0, out)
        self.assertEqual(stretches[0][2], at(5) // FRAME + 7)
        code, _, out = self.check(bytes(recording), need=6)
        self.assertEqual(code, 1)

    def test_music_that_stops_is_reported_and_silence_fails(self):
        code, _, out = self.check(silence(3) + self.music[:at(22)] + silence(10))
        self.assertEqual(code, 0, out)
        self.assertIn("past 25.000 s no later piece of the recording is found", out)
        code, _, out = self.check(silence(30))
        self.assertEqual(code, 1)
        self.assertIn("the recording is silent throughout", out)


if __name__ == "__main__":
    unittest.main()
