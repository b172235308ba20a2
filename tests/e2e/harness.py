"""Wine, a virtual X display and a setup run, for the end-to-end tests.

One Session per test run: a fresh WINEPREFIX, Xvfb, a persistent wineserver
(so each wine start is quick) and the probe helper (probe.c) that reports a
process's full exit code and asks the prefix's registry and installer.
"""

import os
import re
import shutil
import signal
import subprocess
import tempfile
import time
from dataclasses import dataclass, field
from pathlib import Path, PureWindowsPath

from fixtures import RECORD_KEY

# A tail whose engine UI asks nothing (basic, no modal end), so that the
# setup itself still has someone to ask; and one that says nobody is there.
QUIET_ENGINE = "/qb- /i"
UNATTENDED_ENGINE = "/qn /i"
TRACE_CHANNELS = "-all,trace+msgbox,trace+msiexec,err+eventlog"
PROBE_GRACE = 30  # the probe's own time-out backs up ours by this many seconds

# Debian's Wine loaders. `wine` picks the 32-bit one whenever it is installed,
# even where the kernel cannot run it, so the x64 twin is started by the
# 64-bit loader itself.
WINE32_LOADER = "/usr/lib/wine/wine"
WINE64_LOADER = "/usr/lib/wine/wine64"
LOADER_PROBE_TIMEOUT = 20


class Failure(Exception):
    """A scenario's check failed; the message says what the machine showed."""


def check(condition, message):
    if not condition:
        raise Failure(message)


def _read(file):
    file.seek(0)
    return file.read().decode(errors="replace")


def _run(args, timeout, **kwargs):
    """Runs a program to its end. Output goes through files, not pipes: Wine's
    own background processes inherit them and would hold a pipe open."""
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        result = subprocess.run(args, timeout=timeout, stdout=out, stderr=err, **kwargs)
        return subprocess.CompletedProcess(args, result.returncode, _read(out), _read(err))


def _xdotool_pattern(title):
    """An anchored POSIX regular expression matching exactly `title`."""
    return "^" + re.sub(r"([.^$*+?()\[\]{}|\\])", r"\\\1", title) + "$"


class WineUnavailable(Exception):
    """Wine cannot run the stub of any architecture here; the message says why."""


@dataclass
class WinePlan:
    """Which stub runs which scenarios on this machine."""
    runs: list      # (arch, twin_smoke_only) pairs, in order
    summary: str    # one line for the log


def can_run_32bit():
    """Whether this kernel runs 32-bit Wine, found by starting its loader
    (bounded); the reason when it cannot."""
    if not os.path.exists(WINE32_LOADER):
        return False, f"{WINE32_LOADER} is not installed"
    try:
        result = subprocess.run([WINE32_LOADER, "--version"], stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL, timeout=LOADER_PROBE_TIMEOUT)
    except OSError as error:
        return False, f"{WINE32_LOADER}: {error.strerror}"
    except subprocess.TimeoutExpired:
        return False, f"{WINE32_LOADER} --version gave no answer within {LOADER_PROBE_TIMEOUT} s"
    if result.returncode != 0:
        return False, f"{WINE32_LOADER} --version exited with {result.returncode}"
    return True, ""


def how_32bit_runs():
    """"emulated" where qemu-i386 is registered with binfmt_misc (it then runs
    every 32-bit program), else "kernel"."""
    try:
        with open("/proc/sys/fs/binfmt_misc/qemu-i386") as entry:
            return "emulated" if entry.readline().strip() == "enabled" else "kernel"
    except OSError:
        return "kernel"


def plan_wine(forced):
    """The runs for this machine; `forced` is VESK_E2E_ARCH ("x86", "x64" or empty)."""
    if forced not in ("", "x86", "x64"):
        raise WineUnavailable(f"VESK_E2E_ARCH={forced!r}: give x86 or x64")
    can32, why = can_run_32bit()
    if forced == "x86":
        if not can32:
            raise WineUnavailable(f"VESK_E2E_ARCH=x86, but 32-bit Wine cannot run here ({why})")
        return WinePlan([("x86", False)],
                        f"32-bit stub for every scenario (VESK_E2E_ARCH=x86); 32-bit programs: {how_32bit_runs()}")
    if not os.access(WINE64_LOADER, os.X_OK) and (forced == "x64" or not can32):
        raise WineUnavailable(f"{WINE64_LOADER} is not installed" + (f" and {why}" if not can32 else ""))
    if forced == "x64":
        return WinePlan([("x64", False)], "x64 twin for every scenario (VESK_E2E_ARCH=x64)")
    if can32:
        return WinePlan([("x86", False), ("x64", True)],
                        f"32-bit stub for every scenario, x64 twin for the smoke subset; 32-bit programs: {how_32bit_runs()}")
    return WinePlan([("x64", False)], f"x64 twin: this kernel cannot run 32-bit programs ({why})")


class Display:
    """Xvfb on a free display number, chosen by the server itself."""

    def __init__(self):
        read_end, write_end = os.pipe()
        self.process = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
            pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        with os.fdopen(read_end) as announced:
            number = announced.readline().strip()
        if not number:
            self.process.kill()
            raise RuntimeError("Xvfb did not start")
        self.name = ":" + number

    def close(self):
        self.process.terminate()
        self.process.wait(timeout=10)


@dataclass
class Window:
    id: str
    name: str
    x: int
    y: int
    width: int
    height: int


@dataclass
class Outcome:
    """What a finished setup run left behind."""
    exit_code: int
    boxes: list = field(default_factory=list)          # texts of the message boxes shown
    engine_runs: list = field(default_factory=list)    # argv[1:] of each msiexec started
    events: list = field(default_factory=list)         # texts of the error records written to the event log


def _decode_trace_string(text):
    """Wine writes a wide character beyond ASCII as a backslash and four hex digits."""
    def one(m):
        escape = m.group(1)
        return chr(int(escape, 16)) if len(escape) == 4 else {"n": "\n", "r": "\r", "t": "\t"}.get(escape, escape)
    return re.sub(r"\\([0-9a-fA-F]{4}|.)", one, text)


def parse_trace(log):
    """Message-box texts and msiexec command lines from Wine's trace output."""
    boxes = [_decode_trace_string(m) for m in re.findall(r'trace:msgbox:MSGBOX_OnInit L"(.*)"', log)]
    engine = {}
    for pid, index, arg in re.findall(r'^([0-9a-f]+):trace:msiexec:WinMain argvW\[(\d+)\] = L"(.*)"$', log, re.M):
        engine.setdefault(pid, {})[int(index)] = _decode_trace_string(arg)
    runs = [[args[i] for i in sorted(args)] for args in engine.values()]
    return boxes, runs


def parse_events(log):
    """The strings of the error records ReportEvent wrote: Wine keeps no event
    log, it writes each string of an error record to its eventlog channel."""
    return [_decode_trace_string(m) for m in re.findall(r'err:eventlog:ReportEventW L"(.*)"', log)]


class Session:
    """A fresh prefix under `work_dir`, Xvfb, and the probe helper, for the
    stub of one architecture: "x86" runs under `wine`, "x64" under the
    64-bit loader. Screenshots of the x64 session are named x64-*.png."""

    def __init__(self, work_dir, probe_exe, artifacts, arch="x86"):
        self.work_dir = Path(work_dir)
        self.artifacts = Path(artifacts)
        self.artifacts.mkdir(parents=True, exist_ok=True)
        self.arch = arch
        self.loader = [WINE64_LOADER] if arch == "x64" else ["wine"]
        self.shot_prefix = "x64-" if arch == "x64" else ""
        self.prefix = self.work_dir / ("prefix-x64" if arch == "x64" else "prefix")
        shutil.rmtree(self.prefix, ignore_errors=True)
        self.display = Display()
        self.probe = probe_exe
        try:
            self._start_prefix()
        except BaseException:
            _run(["wineserver", "-k"], timeout=30, env=self.env())
            self.display.close()
            raise

    def env(self, debug="-all", native_first=()):
        """`native_first` names DLLs that Wine then looks for as Windows does
        for DLLs that are not KnownDLLs: in the program's own folder first."""
        env = dict(os.environ)
        overrides = "mscoree,mshtml=" + (";" + ",".join(native_first) + "=n,b" if native_first else "")
        env.update(WINEPREFIX=str(self.prefix), DISPLAY=self.display.name, WINEDEBUG=debug,
                   WINEDLLOVERRIDES=overrides)
        if self.arch == "x64":
            env["WINELOADER"] = WINE64_LOADER
        return env

    def _start_prefix(self):
        try:
            booted = _run(self.loader + ["wineboot", "-i"], timeout=300, env=self.env())
        except OSError as error:
            raise RuntimeError(f"{self.loader[0]} cannot be started: {error.strerror}") from None
        if booted.returncode != 0 or not (self.prefix / "drive_c").is_dir():
            said = (booted.stderr.strip().splitlines() or ["nothing on stderr"])[-1]
            raise RuntimeError(f"wineboot made no prefix in {self.prefix} (exit status {booted.returncode}): {said}")
        # A crashing setup must end, not wait behind Wine's crash dialog.
        self.wine(["reg", "add", r"HKCU\Software\Wine\WineDbg", "/v", "ShowCrashDialog",
                   "/t", "REG_DWORD", "/d", "0", "/f"])
        self._persist_wineserver()

    def _persist_wineserver(self):
        """A server that outlives its processes keeps each wine start quick;
        only a newly started server takes the option."""
        _run(["wineserver", "-w"], timeout=60, env=self.env())
        subprocess.run(["wineserver", "-p"], env=self.env(), check=True, timeout=30)

    def close(self):
        _run(["wineserver", "-k"], timeout=30, env=self.env())
        self.display.close()

    def restart_wineserver(self):
        """Ends every process of the prefix (a hung setup, its engine)."""
        _run(["wineserver", "-k"], timeout=30, env=self.env())
        self._persist_wineserver()

    def wine(self, args, timeout=120):
        return _run(self.loader + [str(a) for a in args], timeout=timeout, env=self.env())

    # --- the prefix's files -------------------------------------------------

    def unix_path(self, windows_path):
        """The file behind a C:\\ path, resolving names case-insensitively."""
        path = PureWindowsPath(windows_path)
        check(path.drive.upper() == "C:", f"not a C: path: {windows_path}")
        current = self.prefix / "drive_c"
        for part in path.parts[1:]:
            match = current / part
            if not match.exists() and current.is_dir():
                for entry in current.iterdir():
                    if entry.name.lower() == part.lower():
                        match = entry
                        break
            current = match
        return current

    def install_file(self, source, windows_path):
        target = self.unix_path(windows_path)
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(source, target)
        return target

    def temp_folder(self):
        """The user's temporary folder, as Windows programs see it (%TEMP%)."""
        kind, value = self._probe(["temp"])
        check(kind == "VALUE", f"the probe found no temporary folder ({kind}={value})")
        return value.rstrip("\\")

    # --- asking the prefix through the probe ---------------------------------

    def _probe(self, args):
        result = self.wine([self.probe] + args, timeout=60)
        line = result.stdout.strip().splitlines()[-1] if result.stdout.strip() else ""
        key, _, value = line.partition("=")
        return key, value

    def registry_value(self, key, name):
        """HKLM\\key's value as the stub reads it (the probe is built for the
        stub's architecture), or None."""
        kind, value = self._probe(["regget", key, name])
        return value if kind == "VALUE" else None

    def product_record(self, name):
        """A value the test product recorded. Its package is a 32-bit one, so
        it writes to the 32-bit registry view whichever engine installs it."""
        kind, value = self._probe(["regget", RECORD_KEY, name, "32"])
        return value if kind == "VALUE" else None

    def installed_version(self, product_code):
        """The product's version as the Windows Installer reports it, or None."""
        kind, value = self._probe(["version", product_code])
        return value if kind == "VERSION" else None

    def file_version(self, windows_path, name):
        """(fixed version, string `name`) of a file's version resource as
        GetFileVersionInfoA reads it; the string is None when missing."""
        result = self.wine([self.probe, "fileversion", windows_path, name], timeout=60)
        values = dict(line.partition("=")[::2] for line in result.stdout.splitlines() if "=" in line)
        return values.get("FIXED"), values.get("VALUE")

    def uninstall(self, product_code):
        return self.run_command(f"msiexec /x {product_code} /qn", timeout=120).exit_code

    # --- windows --------------------------------------------------------------

    def xdotool(self, args, timeout=10):
        return _run(["xdotool"] + args, timeout=timeout, env=self.env())

    def windows(self, title=None):
        """Visible top-level windows, all of them or those named `title`."""
        pattern = _xdotool_pattern(title) if title is not None else "."
        ids = self.xdotool(["search", "--onlyvisible", "--name", pattern]).stdout.split()
        found = []
        for wid in ids:
            name = self.xdotool(["getwindowname", wid]).stdout.rstrip("\n")
            geometry = self.xdotool(["getwindowgeometry", "--shell", wid]).stdout
            values = dict(line.split("=", 1) for line in geometry.split() if "=" in line)
            if "WIDTH" in values:
                found.append(Window(wid, name, int(values["X"]), int(values["Y"]),
                                    int(values["WIDTH"]), int(values["HEIGHT"])))
        return found

    def window_process(self, window):
        """The Unix process id behind a window (Wine sets _NET_WM_PID)."""
        return int(self.xdotool(["getwindowpid", window.id]).stdout.strip())

    def window_names(self):
        return [w.name for w in self.windows() if w.name not in ("", "Default IME")]

    def press(self, window, key, tries=3, settle=10):
        """Presses `key` in a box and waits (bounded) for the box to go; a box
        that is not yet taking keys, as under a slow emulator, is pressed again."""
        for _ in range(tries):
            self.xdotool(["windowfocus", "--sync", window.id])
            self.xdotool(["key", "--window", window.id, key])
            end = time.monotonic() + settle
            while time.monotonic() < end:
                if window.id not in self.xdotool(["search", "--onlyvisible", "--name", "."]).stdout.split():
                    return
                time.sleep(0.2)

    def click(self, x, y):
        self.xdotool(["mousemove", "--sync", str(x), str(y)])
        self.xdotool(["click", "1"])

    def colours(self, window):
        """The distinct colours on screen inside `window`, as RGB triples."""
        geometry = f"{window.width}x{window.height}+{window.x}+{window.y}"
        args = ["import", "-display", self.display.name, "-window", "root", "-crop", geometry, "-depth", "8", "rgb:-"]
        pixels = subprocess.run(args, capture_output=True, timeout=30).stdout
        return {pixels[i:i + 3] for i in range(0, len(pixels) - 2, 3)}

    def screenshot(self, name):
        target = self.artifacts / (self.shot_prefix + name)
        _run(["import", "-display", self.display.name, "-window", "root", str(target)], timeout=30)
        check(target.exists(), f"no screenshot written to {target}")
        return target

    # --- running programs -----------------------------------------------------

    def start(self, command_line, timeout=90, native_first=(), trace="", station=None, runner=None):
        """`trace` adds Wine debug channels (",trace+loaddll") to the run's log.
        `station` names a window station of its own, made for the run, with
        the program on its desktop "Default": one that no one can see.
        `runner`: the program and arguments that start the command line and
        print its exit code, before the time-out in ms; `probe run` unless given."""
        return SetupRun(self, command_line, timeout, native_first, trace, station, runner)

    def run_command(self, command_line, timeout=90, native_first=(), station=None):
        return self.start(command_line, timeout, native_first, station=station).finish()


class SetupRun:
    """One program started through the probe, watched while it runs."""

    def __init__(self, session, command_line, timeout, native_first=(), trace="", station=None, runner=None):
        self.session = session
        self.command_line = command_line
        self.timeout = timeout
        env = session.env(TRACE_CHANNELS + trace, native_first)
        env["VESK_E2E_CMDLINE"] = command_line
        if station:
            env["VESK_E2E_STATION"] = station
        self.out_file = tempfile.TemporaryFile()
        self.log_file = tempfile.TemporaryFile()
        self.process = subprocess.Popen(
            session.loader + [str(a) for a in runner or [session.probe, "run"]] + [str((timeout + PROBE_GRACE) * 1000)],
            env=env,
            stdout=self.out_file, stderr=self.log_file, start_new_session=True)
        self.deadline = time.monotonic() + timeout

    def running(self):
        return self.process.poll() is None

    def log(self):
        return _read(self.log_file)

    def wait_window(self, title, timeout=30, accept=lambda window: True):
        """The first visible window named `title` that `accept` takes."""
        end = time.monotonic() + timeout
        while time.monotonic() < end:
            for window in self.session.windows(title):
                if accept(window):
                    return window
            if not self.running():
                break
            time.sleep(0.1)
        shot = self.session.screenshot(f"missing-window-{int(time.time())}.png")
        boxes, _ = parse_trace(self.log())
        names = self.session.window_names()
        running = self.running()
        self._abandon()
        raise Failure(f"no window {title!r} appeared while running {self.command_line!r}; "
                      f"on screen: {names}; boxes: {boxes}; still running: {running}; screenshot: {shot}")

    def _abandon(self):
        """Ends the probe, the program and anything it started."""
        if self.running():
            os.killpg(self.process.pid, signal.SIGKILL)
            self.process.wait()
        self.session.restart_wineserver()

    def answer(self, title, key="Return", timeout=30):
        """Waits for the box captioned `title` and answers it with `key`."""
        box = self.wait_window(title, timeout)
        self.session.press(box, key)
        return box

    def finish(self):
        """Waits for the end (bounded); a hung run is killed and reported."""
        try:
            self.process.wait(timeout=max(1, self.deadline - time.monotonic()))
        except subprocess.TimeoutExpired:
            pass  # reported below, with the screen as the hung run left it
        stdout = _read(self.out_file).replace("\r", "")
        boxes, runs = parse_trace(self.log())
        match = re.search(r"^EXIT=(\d+)$", stdout, re.M)
        refused = re.search(r"^START-FAILED=(.*)$", stdout, re.M)
        if refused:
            raise Failure(f"{self.command_line!r} could not be started (Windows error {refused.group(1)})")
        if not match:
            shot = self.session.screenshot(f"hung-{int(time.time())}.png")
            names = self.session.window_names()
            self._abandon()
            raise Failure(f"{self.command_line!r} did not end within {self.timeout} s "
                          f"({stdout.strip() or 'still running'}); on screen: {names}; boxes: {boxes}; "
                          f"engine runs: {runs}; screenshot: {shot}")
        return Outcome(int(match.group(1)), boxes, runs, parse_events(self.log()))
