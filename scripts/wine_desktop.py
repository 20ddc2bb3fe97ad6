"""A private X server, a fresh wine prefix in it, and what a user sees and
does there: the program's window, its boxes (read by OCR), its processor
use. Every process started here is ended by its id in close()."""

import os
import re
import shutil
import subprocess
import tempfile
import time

WINDOW_TITLE = "PERLO-II Timer Control Interface"
BOX_CAPTION = "RURUZidura"
PROGRAM = r"C:\Program Files\RURUZidura\ruruzidura.exe"


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


class Desktop:
    def __init__(self):
        self.work = tempfile.mkdtemp(prefix="ruru-wine.", dir="/tmp")
        self.prefix = os.path.join(self.work, "prefix")
        self.processes = []
        os.environ.update(WINEPREFIX=self.prefix, WINEDEBUG="-all",
                          WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=;mshtml=")

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
        if os.path.isdir(self.prefix) and shutil.which("wineserver"):
            run("wineserver", "-k", stderr=subprocess.DEVNULL)
        for p in self.processes:
            try:
                p.wait(timeout=10)
            except subprocess.TimeoutExpired:
                p.kill()
                p.wait()
        shutil.rmtree(self.work, ignore_errors=True)

    def _start_x(self):
        display = self.path("display")
        with open(display, "w") as f:
            self.start("Xvfb", "-displayfd", str(f.fileno()), "-screen", "0", "1024x768x24",
                       "-nolisten", "tcp", pass_fds=(f.fileno(),), stderr=subprocess.DEVNULL)
        if not poll(lambda: os.path.getsize(display) > 0, 5):
            raise RuntimeError("Xvfb did not start")
        with open(display) as f:
            os.environ["DISPLAY"] = ":" + f.read().strip()

    # --- wine ---------------------------------------------------------------
    def start_wineserver(self):
        # When the far end of a pseudo-terminal goes away, the wineserver
        # prints its whole object table: its own stderr goes to a file.
        with open(self.path("wineserver.log"), "a") as log:
            run("wineserver", "-p", stderr=log)

    def make_prefix(self, ports):
        """A fresh prefix whose COMn are PORTS[n - 1], through the registry only."""
        os.makedirs(self.prefix)
        self.start_wineserver()
        run("wineboot", "-i", stderr=subprocess.DEVNULL)
        for n, device in enumerate(ports, 1):
            run("wine", "reg", "add", r"HKLM\Software\Wine\Ports", "/v", f"COM{n}", "/t",
                "REG_SZ", "/d", device, "/f", stdout=subprocess.DEVNULL,
                stderr=subprocess.DEVNULL)
        run("wineserver", "-k")
        self.start_wineserver()

    def wine(self, *arguments):
        """Runs a Windows program to its end; its exit status."""
        return run("wine", *arguments, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL).returncode

    def reg_query(self, key):
        return output("wine", "reg", "query", key)

    def dosdevice(self, name):
        try:
            return os.readlink(os.path.join(self.prefix, "dosdevices", name))
        except OSError:
            return ""

    def wineserver_pid(self):
        """This prefix's (wineserver64 on Debian)."""
        for pid in output("pgrep", "^wineserver").split():
            try:
                with open(f"/proc/{pid}/environ", "rb") as f:
                    environ = f.read().split(b"\0")
            except OSError:
                continue
            if f"WINEPREFIX={self.prefix}".encode() in environ:
                return pid
        return None

    # --- the program ----------------------------------------------------------
    def start_program(self, run_name):
        with open(self.path(f"program-{run_name}.log"), "w") as log:
            process = self.start("wine", PROGRAM, stderr=log)
        window = poll(lambda: first_window(f"^{WINDOW_TITLE}$"), 30)
        if window is None:
            raise RuntimeError("the window did not show")
        time.sleep(0.5)
        return Window(window, process)

    def ocr(self, window, geometry=None):
        """The text of WINDOW (or of GEOMETRY in it), on one line. OCR reads
        the system font exactly at three times its size."""
        shot, scaled = self.path("ocr.png"), self.path("ocr3.png")
        run("import", "-window", window, *(["-crop", geometry] if geometry else []), shot)
        run("convert", shot, "-resize", "300%", scaled)
        text = output("tesseract", scaled, "-", *(["--psm", "7"] if geometry else []))
        return re.sub("[ \n]+", " ", text)


class Simulator:
    """perlo-sim on a pseudo-terminal, linked at LINK, logging what it receives."""

    def __init__(self, perlo_sim, link, processes):
        self.perlo_sim = perlo_sim
        self.link = link
        self.processes = processes  # ended by the caller at exit
        self.process = None

    def start(self, wire_log, *options):
        if os.path.lexists(self.link):
            os.remove(self.link)
        self.process = subprocess.Popen(
            [self.perlo_sim, "--link", self.link, "--wire-log", wire_log, *options],
            stdout=subprocess.DEVNULL)
        self.processes.append(self.process)
        if not poll(lambda: os.path.exists(self.link), 5):
            raise RuntimeError("perlo-sim did not start")

    def stop(self):
        self.process.terminate()
        self.process.wait()


class Window:
    """The program's window. With no window manager the X window is the
    client area: positions are the layout's."""

    def __init__(self, window, process):
        self.id = window
        self.process = process  # wine's

    def click(self, point, times=1):
        x, y = (str(v) for v in point)
        repeat = ["--repeat", str(times), "--delay", "60"] if times > 1 else []
        run("xdotool", "mousemove", "--window", self.id, x, y, "click", *repeat, "1")

    def close(self):
        run("timeout", "5", "xdotool", "windowfocus", "--sync", self.id, "key", "alt+F4")


def program_pid():
    found = output("pgrep", "-f", r"RURUZidura.ruruzidura\.exe").split()
    return found[0] if found else None


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
