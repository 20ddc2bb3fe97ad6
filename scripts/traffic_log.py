"""The program's own account of its line, as it logs it to standard error
with the traffic category on: every write ("out") and every read ("in"),
each with the seconds since the program started."""

import re
from dataclasses import dataclass

# What makes the program log its traffic, with the time of each message.
ENVIRONMENT = {
    "QT_LOGGING_RULES": "ruruzidura.traffic.debug=true",
    "QT_MESSAGE_PATTERN": "%{time process}|%{category}|%{message}",
    # A Windows program without a console logs to the debugger otherwise.
    "QT_FORCE_STDERR_LOGGING": "1",
}

LINE = re.compile(r'^\s*([0-9.]+)\|ruruzidura\.traffic\|(out|in) "([0-9a-f ]*)"\s*$')


@dataclass(frozen=True)
class Event:
    seconds: float
    direction: str  # "out" or "in"
    data: bytes


class TrafficLog:
    def __init__(self, events):
        self.events = events

    @classmethod
    def read(cls, path):
        try:
            with open(path, errors="replace") as f:
                text = f.read()
        except OSError:
            text = ""
        return cls.parse(text)

    @classmethod
    def parse(cls, text):
        events = []
        for line in text.splitlines():
            if m := LINE.match(line):
                events.append(Event(float(m[1]), m[2], bytes.fromhex(m[3])))
        return cls(events)

    def exchanges(self):
        """(command, what went out with it, what came back, seconds from the
        command to the last byte back) per command: a command is a write
        that begins with "/"; the writes after it (a block) belong to it."""
        found = []
        for e in self.events:
            if e.direction == "out" and e.data.startswith(b"/"):
                found.append([e.data.decode("latin-1"), b"", b"", e.seconds, 0.0])
            elif found and e.direction == "out":
                found[-1][1] += e.data
            elif found:
                found[-1][2] += e.data
                found[-1][4] = e.seconds - found[-1][3]
        return [(c, sent, back, last) for c, sent, back, _, last in found]

    def commands(self):
        return [c for c, *_ in self.exchanges()]
