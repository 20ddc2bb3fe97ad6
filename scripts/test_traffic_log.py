#!/usr/bin/python3
"""The reading of the program's traffic log, on made-up logs."""

import sys
import unittest

sys.dont_write_bytecode = True
from traffic_log import TrafficLog  # noqa: E402

LOG = """\
   0.101|ruruzidura.traffic|opened "sim:16"
   0.102|ruruzidura.traffic|out "2f 56"
   0.140|ruruzidura.traffic|in "56 32 2e"
   0.170|ruruzidura.traffic|in "31 30 0d 0a 4f 4b"
qt.qpa.xcb: something else entirely
   1.000|ruruzidura.traffic|out "2f 50"
   1.100|ruruzidura.traffic|out "1a"
   1.105|ruruzidura.traffic|out "0a"
   1.150|ruruzidura.traffic|in "4f 4b"
"""


class TrafficLogTest(unittest.TestCase):
    def test_exchanges(self):
        exchanges = TrafficLog.parse(LOG).exchanges()
        self.assertEqual([c for c, *_ in exchanges], ["/V", "/P"])
        command, sent, back, last = exchanges[0]
        self.assertEqual((sent, back), (b"", b"V2.10\r\nOK"))
        self.assertAlmostEqual(last, 0.068)
        command, sent, back, last = exchanges[1]
        self.assertEqual((sent, back), (b"\x1a\x0a", b"OK"))
        self.assertAlmostEqual(last, 0.150)

    def test_other_lines_are_not_traffic(self):
        self.assertEqual(TrafficLog.parse("out \"2f 56\"\n0.1|other|out \"2f 56\"\n").events, [])


if __name__ == "__main__":
    unittest.main()
