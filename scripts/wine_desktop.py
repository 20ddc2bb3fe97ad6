"""A fresh wine prefix on a private X server, with perlo-sim on a
pseudo-terminal as its COM1, and the program's window under wine."""

import os
import shutil
import subprocess

from x_desktop import Window, XDesktop, output, poll, run

PROGRAM = r"C:\Program Files\RURUZidura\ruruzidura.exe"


class Desktop(XDesktop):
    def __init__(self):
        super().__init__("ruru-wine")
        self.prefix = os.path.join(self.work, "prefix")
        os.environ.update(WINEPREFIX=self.prefix, WINEDEBUG="-all",
                          WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=;mshtml=")

    def end_servers(self):
        if os.path.isdir(self.prefix) and shutil.which("wineserver"):
            run("wineserver", "-k", stderr=subprocess.DEVNULL)

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

    def set_user_environment(self, variables):
        """Sets VARIABLES for the programs started next, as Windows' user
        environment: wine hands no QT_ variable of its own environment on."""
        for name, value in variables.items():
            run("wine", "reg", "add", r"HKCU\Environment", "/v", name, "/t", "REG_SZ", "/d",
                value, "/f", stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def clear_user_environment(self, names):
        for name in names:
            run("wine", "reg", "delete", r"HKCU\Environment", "/v", name, "/f",
                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

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
    def start_program(self, run_name, program=PROGRAM, arguments=()):
        """The program's window; its standard error goes to the file log(RUN_NAME)."""
        with open(self.log(run_name), "w") as stderr:
            process = self.start("wine", program, *arguments, stderr=stderr)
        return WineWindow(self.wait_for_window(30), process)

    def log(self, run_name):
        return self.path(f"program-{run_name}.log")


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


class WineWindow(Window):
    def close(self):
        run("timeout", "5", "xdotool", "windowfocus", "--sync", self.id, "key", "alt+F4")


def program_pid():
    found = output("pgrep", "-f", r"RURUZidura.ruruzidura\.exe").split()
    return found[0] if found else None
