"""The program started as its "simulated timer" entry starts it, used as a
new user would try it: Connect on COM1 (the 16-byte timer), a row stepped
up, Set, Retrieve, Test Shutter; then, in a second run, Connect on COM2 (the
8-byte timer). What the program did is read from its own traffic log, what
it showed by OCR of its version box."""

import re
import time

import frmmain_layout as layout
from traffic_log import TrafficLog
from x_desktop import box, ended_within, poll

# What the simulated timers store when they start.
BLOCK_16 = bytes.fromhex("190a0304140505010a021e0000000000")
BLOCK_8 = BLOCK_16[:8]
STEPPED_16 = bytes([BLOCK_16[0] + 1]) + BLOCK_16[1:]
# At 2400 baud each byte takes 10 bits; the first of a block may come at once.
BYTE_S = 10 / 2400
SHUTTER_S = BLOCK_16[6] / 10  # row 6, in tenths of a second
VERSION_BOX = layout.rect("txtVersion").geometry()


class SimulatedSession:
    """START(run_name) starts the program as the entry does and hands back
    its window and the path of its traffic log; LEFT_BEHIND() tells whether
    a process of the program still runs."""

    def __init__(self, desktop, checks, start, left_behind, screenshot=None):
        self.desktop = desktop
        self.check = checks.check
        self.note = checks.note
        self.start = start
        self.left_behind = left_behind
        self.screenshot = screenshot
        self.window = None
        self.log = None

    def run(self):
        self.timer_of_16_bytes()
        self.timer_of_8_bytes()

    # --- helpers ---------------------------------------------------------------
    def click(self, name):
        self.window.click(layout.rect(name).centre())

    def exchanges(self):
        return TrafficLog.read(self.log).exchanges()

    @staticmethod
    def last(found):
        """The last exchange; an empty one when there is none."""
        return found[-1] if found else ("", b"", b"", 0.0)

    def answered(self, command, length, seconds=15):
        """The exchanges once COMMAND has had LENGTH bytes back (or SECONDS passed)."""
        def done():
            found = self.exchanges()
            if found and found[-1][0] == command and len(found[-1][2]) >= length:
                return found
            return None
        return poll(done, seconds) or self.exchanges()

    def connects(self, generation, version, block, probe_answer):
        self.click("btnConnect")
        found = self.answered("/D", len(block))
        commands = [c for c, *_ in found]
        self.check(f"{generation}-byte timer: Connect sends /V /Z /D ({' '.join(commands)})",
                   commands == ["/V", "/Z", "/D"])
        answers = {c: back for c, _, back, _ in found}
        self.check(f'{generation}-byte timer: /V answered "{version}"',
                   answers.get("/V") == version.encode() + b"\r\nOK")
        self.check(f"{generation}-byte timer: /Z answered {probe_answer.decode()}",
                   answers.get("/Z") == probe_answer)
        self.check(f"{generation}-byte timer: /D answered with its stored {len(block)} bytes",
                   answers.get("/D") == block)
        paced = {c: last for c, _, _, last in found}.get("/D", 0)
        self.note(f"{generation}-byte timer: /D's last byte {paced * 1000:.1f} ms after /D")
        # A line that did not keep the timer's pace would hand the block over at
        # once; the log's times are whole milliseconds, at both ends.
        self.check(f"{generation}-byte timer: /D's block at 2400 baud",
                   paced >= (len(block) - 1) * BYTE_S - 0.002)
        time.sleep(0.5)  # drawn
        read = self.desktop.ocr(self.window.id, VERSION_BOX)
        self.check(f"{generation}-byte timer: the version box shows {version} (read: {read})",
                   version in read.replace(" ", ""))

    def closes(self, run_name):
        self.window.close()
        ended = ended_within(10, self.window.process)
        self.check(f"{run_name}: closing the window ends the program, with 0",
                   ended and self.window.process.returncode == 0)
        self.check(f"{run_name}: no process of the program left behind",
                   poll(lambda: not self.left_behind(), 5))

    # --- the runs ---------------------------------------------------------------
    def timer_of_16_bytes(self):
        self.window, self.log = self.start("simulated-16")
        self.connects(16, "V2SIM", BLOCK_16, b"OK")
        if self.screenshot:
            self.desktop.screenshot(self.window.id, self.screenshot)

        self.window.click(layout.spinner_up(0))
        self.click("btnSet")
        found = self.answered("/P", 2)
        sent = {c: out for c, out, _, _ in found}.get("/P")
        self.check("Set: /P and the block with row 0 stepped up", sent == STEPPED_16)
        self.check("Set: the timer's OK", self.last(found)[2] == b"OK")

        self.click("btnGet")
        found = self.answered("/D", 16)
        command, _, back, _ = self.last(found)
        self.check("Retrieve: the timer answers with what Set wrote",
                   command == "/D" and back == STEPPED_16)
        time.sleep(0.5)  # drawn
        read = self.desktop.ocr(self.window.id, layout.rect("txtParam(0)").geometry())
        self.check(f"Retrieve: row 0 shows {STEPPED_16[0]} again (read: {read})",
                   read.strip() == str(STEPPED_16[0]))

        self.click("btnShutter")
        found = self.answered("/S", 2, 10)
        command, _, back, last = self.last(found)
        self.check("Test Shutter: /S, the timer's OK", command == "/S" and back == b"OK")
        self.check(f"Test Shutter: the OK after the shutter's {SHUTTER_S:g} s"
                   f" ({last:.2f} s)", last >= SHUTTER_S)
        self.check("simulated 16-byte timer: no box", box() is None)
        self.closes("simulated 16-byte timer")

    def timer_of_8_bytes(self):
        self.window, self.log = self.start("simulated-8")
        self.window.click(layout.option_indicator("optCom(1)"))
        self.connects(8, "V1SIM", BLOCK_8, b"ER")
        self.check("simulated 8-byte timer: no box", box() is None)
        self.closes("simulated 8-byte timer")
