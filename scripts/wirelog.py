"""What the simulated timer received, as check-installed-windows judges it:
its wire log (one line per byte: steady clock in ns, byte in hex) and the
pace it wants of a "/P" block."""

import subprocess
from dataclasses import dataclass

# The simulator notes a byte when it reads it, which on a busy machine can
# be a little late, and the next gap then looks short by as much.
READING_ALLOWANCE_NS = 2_000_000
# The whole block within 1.5 s of "/P" (it needs 180 ms): a pause that
# sleeps past its timer until some other message comes (a caret's blink
# under wine) takes about 400 ms each, 6 s in all.
BLOCK_DEADLINE_NS = 1_500_000_000


@dataclass(frozen=True)
class Pacing:
    """The pauses a block needs: from "/P" to its first byte, between bytes."""

    lead_ns: int
    byte_gap_ns: int

    @classmethod
    def of(cls, perlo_sim):
        out = subprocess.run([perlo_sim, "--pacing"], capture_output=True, text=True,
                             check=True).stdout
        values = dict(line.split() for line in out.splitlines())
        return cls(int(values["block-lead-ns"]), int(values["block-byte-gap-ns"]))


class WireLog:
    """The bytes a simulator received, with the time it read each."""

    def __init__(self, entries):
        self.entries = entries  # (ns, byte)

    @classmethod
    def parse(cls, text):
        # A line still being written has no newline yet: it is left out.
        lines = text.split("\n")[:-1]
        return cls([(int(ns), int(byte, 16)) for ns, byte in (line.split() for line in lines)])

    @classmethod
    def read(cls, path):
        try:
            with open(path, encoding="ascii") as f:
                return cls.parse(f.read())
        except FileNotFoundError:
            return cls([])

    def hex(self):
        return "".join(f"{byte:02x}" for _, byte in self.entries)

    def _after_last_p(self):
        """What follows the last "/P", the "P" first; None without one."""
        for i in range(len(self.entries) - 1, 0, -1):
            if self.entries[i - 1][1] == 0x2F and self.entries[i][1] == 0x50:
                return self.entries[i:]
        return None

    def block_times(self, length):
        """The time of the last "/P", then of up to LENGTH bytes after it."""
        after = self._after_last_p()
        return [] if after is None else [ns for ns, _ in after[:length + 1]]

    def block_hex(self, length):
        after = self._after_last_p()
        return "" if after is None else "".join(f"{b:02x}" for _, b in after[1:length + 1])

    def gaps_ms(self):
        """The gaps after the last "/P", in ms, each from the byte before."""
        after = self._after_last_p() or []
        times = [ns for ns, _ in after]
        return [round((b - a) / 1e6) for a, b in zip(times, times[1:])]


def block_paced(times, length, pacing):
    """Whether the block after "/P" (TIMES: "/P", then each byte) holds its
    pauses: any stretch from "/P" or a byte to a later byte must hold them
    less the reading allowance. A missing pause shows as a gap of about 0,
    shorter pauses as a short stretch."""
    if len(times) != length + 1:
        return False
    for k in range(1, length + 1):
        for j in range(k):
            pauses = (k - j) * pacing.byte_gap_ns
            if j == 0:
                pauses += pacing.lead_ns - pacing.byte_gap_ns
            if times[k] - times[j] < pauses - READING_ALLOWANCE_NS:
                return False
    return True


def block_prompt(times, length):
    return len(times) == length + 1 and times[-1] - times[0] < BLOCK_DEADLINE_NS
