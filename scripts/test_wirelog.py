#!/usr/bin/python3
"""How check-installed-windows reads perlo-sim's wire log and judges a
block's pacing, on made-up logs: a block written as the program paces it
passes however a busy machine delays the simulator's reading of it; one
whose pauses are missing, short or late fails."""

import random
import sys
import unittest

sys.dont_write_bytecode = True
from wirelog import Pacing, WireLog, block_paced, block_prompt  # noqa: E402

MS = 1_000_000
PACING = Pacing(lead_ns=100 * MS, byte_gap_ns=4_500_000)
BLOCK = bytes(range(0x10, 0x20))


def wire_log(gaps_ms, reading_late_ms=None, start_ns=7_000_000_000):
    """A log of "/V", "/P" and a block whose bytes follow at GAPS_MS (the
    first from "/P"), each read READING_LATE_MS[i] late."""
    lines, t = [], start_ns
    for byte in b"/V/":
        lines.append((t, byte))
        t += 40 * MS
    lines.append((t, ord("P")))
    late = reading_late_ms or [0] * len(gaps_ms)
    sent = t
    for i, gap in enumerate(gaps_ms):
        sent += round(gap * MS)
        lines.append((sent + round(late[i] * MS), BLOCK[i]))
    return "".join(f"{ns} {byte:02x}\n" for ns, byte in lines)


def judged(text, length=16, pacing=PACING):
    times = WireLog.parse(text).block_times(length)
    return block_paced(times, length, pacing)


class BlockPacing(unittest.TestCase):
    def test_pacing_data(self):
        jitter = random.Random(5)
        paced = [100] + [4.5] * 15
        cases = [
            # name, gaps in ms (the first from "/P"), reading late per byte in ms, passes
            ("paced exactly", paced, None, True),
            ("pauses longer by up to 7 ms", [g + jitter.uniform(0, 7) for g in paced], None, True),
            ("every byte read up to 1.5 ms late", paced,
             [jitter.uniform(0, 1.5) for _ in paced], True),
            ("one byte read 1.5 ms late, the next on time", paced,
             [0] * 7 + [1.5] + [0] * 8, True),
            ("one byte read 2.5 ms late, the next on time", paced,
             [0] * 7 + [2.5] + [0] * 8, False),
            ("a pause missing", paced[:9] + [0.1] + paced[10:], None, False),
            ("every pause 4 ms", [100] + [4] * 15, None, False),
            ("every pause 3 ms", [100] + [3] * 15, None, False),
            ("the first byte at 95 ms", [95] + [4.5] * 15, None, False),
            ("the first byte at 98.5 ms", [98.5] + [4.5] * 15, None, True),
            ("a short block", paced[:15], None, False),
        ]
        for name, gaps, late, passes in cases:
            with self.subTest(name):
                self.assertEqual(judged(wire_log(gaps, late)), passes)

    def test_pauses_are_the_simulators(self):
        slower = Pacing(lead_ns=200 * MS, byte_gap_ns=10 * MS)
        self.assertFalse(judged(wire_log([100] + [4.5] * 15), pacing=slower))
        self.assertTrue(judged(wire_log([200] + [10] * 15), pacing=slower))

    def test_prompt_data(self):
        cases = [
            # name, gaps in ms, within 1.5 s of "/P"
            ("paced", [100] + [4.5] * 15, True),
            ("pauses of 12 ms", [100] + [12] * 15, True),
            ("pauses of 400 ms", [100] + [400] * 15, False),
            ("a short block", [100] + [4.5] * 14, False),
        ]
        for name, gaps, prompt in cases:
            with self.subTest(name):
                times = WireLog.parse(wire_log(gaps)).block_times(16)
                self.assertEqual(block_prompt(times, 16), prompt)


class Reading(unittest.TestCase):
    def test_block_after_the_last_p(self):
        log = WireLog.parse(wire_log([100] + [4.5] * 15) + wire_log([100, 5], start_ns=9 * 10**9))
        self.assertEqual(log.block_hex(16), "1011")
        self.assertEqual(log.gaps_ms(), [100, 5])
        self.assertEqual(len(log.block_times(16)), 3)

    def test_line_still_being_written_is_left_out(self):
        log = WireLog.parse("1000 2f\n2000 50\n3000 1")
        self.assertEqual(log.hex(), "2f50")

    def test_no_p(self):
        log = WireLog.parse("1000 2f\n2000 56\n")
        self.assertEqual((log.block_hex(16), log.block_times(16), log.gaps_ms()), ("", [], []))


if __name__ == "__main__":
    unittest.main()
