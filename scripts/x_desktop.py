"""A private X server and what a user sees and does there: the program's
window found by its title, clicks at positions of its layout, boxes read by
OCR, the processor use of a process. Every process started here is ended by
its id in close()."""

import os
import re
import shutil
import subprocess
import tempfile
import time

WINDOW_TITLE = "PERLO-II Timer Control Interface"
BOX_CAPTION = "RURUZidura"


def run(*command, **options):
    return subprocess.run(command, check=False, **options)


def output(*command):
    return run(*command, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True,
               errors="replace").stdout


def poll(probe, seconds):
    """PROBE's first result that is not empty, if one comes within SECONDS."""
    deadline = time.monotonic() + seconds
    while not (result := probe()) and time.monotonic() <= deadline:
        time.sleep(0.1)
    return result or None


def first_window(name_regex):
    found = output("xdotool", "search", "--onlyvisible", "--name", name_regex).split()
    return found[0] if found else None


def box():
    """The message box that is up, if one is."""
    return first_window(f"^{BOX_CAPTION}$")


def wait_box(seconds):
    return poll(box, seconds)


def dismiss(window):
    # OK is its default button. Wine keeps it mapped for a moment after.
    run("timeout", "5", "xdotool", "windowfocus", "--sync", window, "key", "Return")
    poll(lambda: box() is None, 5)


def ended_within(seconds, process):
    return poll(lambda: process.poll() is not None, seconds) is not None


def cpu_percent(seconds, pid):
    """The processor use of PID over SECONDS, in whole per cent of a core;
    999 when it cannot be measured."""
    def ticks():
        with open(f"/proc/{pid}/stat") as f:
            fields = f.read().rsplit(") ", 1)[1].split()
        return int(fields[11]) + int(fields[12])  # utime, stime
    try:
        t0 = ticks()
        time.sleep(seconds)
        t1 = ticks()
    except OSError:
        return 999
    return (t1 - t0) * 100 * 100 // (os.sysconf("SC_CLK_TCK") * seconds) // 100


class XDesktop:
    def __init__(self, name):
        self.work = tempfile.mkdtemp(prefix=f"{name}.", dir="/tmp")
        self.processes = []

    def __enter__(self):
        try:
            self._start_x()
        except BaseException:
            self.close()
            raise
        return self

    def __exit__(self, *exception):
        self.close()

    def path(self, name):
        return os.path.join(self.work, name)

    def start(self, *command, **options):
        process = subprocess.Popen(command, **options)
        self.processes.append(process)
        return process

    def close(self):
        for p in self.processes:
            p.terminate()
        self.end_servers()
        for p in self.processes:
            try:
                p.wait(timeout=10)
            except subprocess.TimeoutExpired:
                p.kill()
                p.wait()
        shutil.rmtree(self.work, ignore_errors=True)

    def end_servers(self):
        """What else the desktop's programs started, ended before they are waited for."""

    def _start_x(self):
        display = self.path("display")
        with open(display, "w") as f:
            self.start("Xvfb", "-displayfd", str(f.fileno()), "-screen", "0", "1024x768x24",
                       "-nolisten", "tcp", "-noreset", pass_fds=(f.fileno(),),
                       stderr=subprocess.DEVNULL)
        if not poll(lambda: os.path.getsize(display) > 0, 5):
            raise RuntimeError("Xvfb did not start")
        with open(display) as f:
            os.environ["DISPLAY"] = ":" + f.read().strip()

    def wait_for_window(self, seconds):
        window = poll(lambda: first_window(f"^{WINDOW_TITLE}$"), seconds)
        if window is None:
            raise RuntimeError("the window did not show")
        time.sleep(0.5)
        return window

    def screenshot(self, window, path):
        run("import", "-window", window, path)

    def ocr(self, window, geometry=None):
        """The text of WINDOW (or of GEOMETRY in it), on one line. OCR reads
        the system font exactly at three times its size."""
        shot, scaled = self.path("ocr.png"), self.path("ocr3.png")
        run("import", "-window", window, *(["-crop", geometry] if geometry else []), shot)
        run("convert", shot, "-resize", "300%", scaled)
        text = output("tesseract", scaled, "-", *(["--psm", "7"] if geometry else []))
        return re.sub("[ \n]+", " ", text)


class Window:
    """The program's window. With no window manager the X window is the
    client area: positions are the layout's."""

    def __init__(self, window, process):
        self.id = window
        self.process = process

    def click(self, point, times=1):
        x, y = (str(v) for v in point)
        repeat = ["--repeat", str(times), "--delay", "60"] if times > 1 else []
        run("xdotool", "mousemove", "--window", self.id, x, y, "click", *repeat, "1")
