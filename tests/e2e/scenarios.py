"""The end-to-end scenarios: real setups under Wine, judged by what the
prefix shows afterwards (exit code, boxes, engine command lines, files,
registry, installed products)."""

import ntpath
import os
import re
import shutil
import signal
import subprocess
import time
from contextlib import contextmanager
from pathlib import Path, PureWindowsPath

from fixtures import (FAILING_CODE, NAMED_PRODUCT, PRODUCT_CODE, PRODUCT_NAME, STUBS, build_attacker, build_baseline,
                      build_fake_runtime, build_large_file, build_large_msi, build_marker_dll, build_platform_probe,
                      build_signing_pair, build_splash_bmp, pack, rebased_copy)
from harness import QUIET_ENGINE, UNATTENDED_ENGINE, Failure, check

WIZARD_FOLDER = "Vesk Installation Wizard"
CORRUPT_TEXT = "Corrupt installation detected."
CRC_TEXT = "Corrupt installation detected, check source media or re-download."
WHITE = b"\xff\xff\xff"
SPLASH_SIZE = (300, 110)  # the splash window takes the size of its bitmap
# The splash stays at least this long; the large product keeps extraction
# going after it, so that the progress dialog comes up and can be cancelled
# while extraction goes on.
SPLASH_HOLD_SECONDS = 3
LARGE_PRODUCT_SIZE = 1536 * 1024 * 1024
# A product of some megabytes, whose container reaches far past the image.
RELOCATED_PRODUCT_SIZE = 6 * 1024 * 1024
REBOOT_TEXT = ("This system must reboot before the installation can begin. After the reboot the installation "
               "will restart automatically. Do you want to reboot this system?")
RUN_KEY = r"SOFTWARE\Microsoft\Windows\CurrentVersion\Run"
RESUME_VALUE = "VeskStubReboot"
RUNTIME_FOLDER = r"C:\vesk-runtime"  # where the fake runtime installer records its runs (fake_runtime.c)
ATTACKER_LOG = RUNTIME_FOLDER + r"\attacker.txt"  # what the attacking program did (attacker.c)
# A runtime installer this large is extracted long enough for another program to try it.
ATTACKED_RUNTIME_PADDING = 32 * 1024 * 1024
MARKER_LOG = r"C:\vesk-markers\loaded.txt"  # where planted marker DLLs record their loads (marker.c)
# Names of system libraries that are not KnownDLLs, planted beside a setup:
# its static imports' neighbours, what MSI.DLL and VERSION.DLL need, and what
# the platform loads by name in a window program's life.
PLANTED_NAMES = ["comctl32", "uxtheme", "wintrust", "version", "msi", "crypt32", "imm32", "dwmapi", "msctf",
                 "userenv", "setupapi", "propsys", "apphelp", "cryptbase", "oleacc", "winmm", "shfolder", "riched20"]
# Wine's own msi.dll is 4.5.6001: a setup that needs 5.0 installs its runtime, one that needs 4.5 does not.
NEWER_RUNTIME = "5.0"
INSTALLED_RUNTIME = "4.5"


def is_splash(window):
    return (window.width, window.height) == SPLASH_SIZE


def is_progress_dialog(window):
    return not is_splash(window)


class Context:
    """What every scenario shares: the session, the tool, the stub of the
    session's architecture and the packages."""

    def __init__(self, session, vesk, packages, work_dir):
        self.session = session
        self.arch = session.arch
        self.vesk = vesk
        self.stub = Path(vesk).parent / STUBS[self.arch]
        self.packages = packages
        self.work_dir = Path(work_dir) / self.arch
        self.work_dir.mkdir(parents=True, exist_ok=True)
        self.common_files = session.registry_value(r"SOFTWARE\Microsoft\Windows\CurrentVersion", "CommonFilesDir")
        check(self.common_files, "the prefix has no CommonFilesDir value")
        self.wizard_folder = str(PureWindowsPath(self.common_files) / WIZARD_FOLDER)
        self._setups = {}
        self._fake_runtime = None
        self._attacker = None

    def setup_for(self, product, name, options=(), **settings):
        """A packed setup, made once per name."""
        if name not in self._setups:
            self._setups[name] = pack(self.vesk, product, self.work_dir / f"{name}.exe", self.arch, options, **settings)
        return self._setups[name]

    def place(self, scenario, source, file_name="setup.exe"):
        """Copies a file into C:\\setups\\<scenario>\\ and returns its Windows path."""
        windows_path = rf"C:\setups\{scenario}\{file_name}"
        self.session.install_file(source, windows_path)
        return windows_path

    def fresh_state(self):
        """No test product installed, no product file placed, no runtime runs recorded."""
        for code in (PRODUCT_CODE, FAILING_CODE):
            if self.session.installed_version(code) is not None:
                self.session.uninstall(code)
        shutil.rmtree(self.session.unix_path(self.wizard_folder), ignore_errors=True)
        shutil.rmtree(self.session.unix_path(RUNTIME_FOLDER), ignore_errors=True)

    def fake_runtime(self):
        """The fake runtime installer of this architecture, built once."""
        if self._fake_runtime is None:
            self._fake_runtime = build_fake_runtime(self.work_dir, self.arch)
        return self._fake_runtime

    def attacker(self):
        """The attacking program of this architecture, built once."""
        if self._attacker is None:
            self._attacker = build_attacker(self.work_dir, self.arch)
        return self._attacker

    def runtime_exit_codes(self, *codes):
        """The fake runtime's exit code for its first, second, ... run."""
        folder = self.session.unix_path(RUNTIME_FOLDER)
        folder.mkdir(parents=True, exist_ok=True)
        (folder / "codes.txt").write_text("".join(f"{code}\n" for code in codes))

    def runtime_runs(self):
        """(program path, folder it started in, command line, temporary folder)
        of each run of the fake runtime."""
        log = self.session.unix_path(RUNTIME_FOLDER + r"\runs.txt")
        lines = log.read_text(errors="replace").splitlines() if log.exists() else []
        runs = [line.split("|", 3) for line in lines if line.count("|") >= 3]
        return [(program, folder, command, temp) for program, folder, temp, command in runs]

    def resume_value(self):
        return self.session.registry_value(RUN_KEY, RESUME_VALUE)

    def install_directly(self, package):
        """Installs a package with msiexec itself, as an earlier setup would have."""
        msi = self.place("installed", package, Path(package).name)
        result = self.session.run_command(f'msiexec /i "{msi}" /qn', timeout=120)
        version = self.session.installed_version(PRODUCT_CODE)
        check(result.exit_code == 0 and version is not None,
              f"msiexec could not install {package} beforehand (exit code {result.exit_code})")

    def placed_files(self):
        folder = self.session.unix_path(self.wizard_folder)
        return sorted(p for p in folder.iterdir()) if folder.is_dir() else []

    def expect_nothing_written(self, outcome):
        check(self.placed_files() == [], f"product files were left behind: {self.placed_files()}")
        check(outcome.engine_runs == [], f"the engine was started: {outcome.engine_runs}")
        version = self.session.installed_version(PRODUCT_CODE)
        check(version is None, f"the product is installed (version {version})")

    def expect_installed(self, outcome, setup, version, engine_args):
        check(outcome.exit_code == 0, f"exit code {outcome.exit_code}, expected 0; boxes: {outcome.boxes}")
        check(outcome.boxes == [], f"unexpected message boxes: {outcome.boxes}")
        expected_run = engine_args + [f"VESK_SETUP_EXE_PATH={setup}"]
        check(outcome.engine_runs == [expected_run],
              f"engine command lines {outcome.engine_runs}, expected [{expected_run}]")
        installed = self.session.installed_version(PRODUCT_CODE)
        check(installed == version, f"installed version {installed!r}, expected {version!r}")
        recorded = self.session.product_record("SetupExePath")
        check(recorded == setup, f"VESK_SETUP_EXE_PATH arrived as {recorded!r}, expected {setup!r}")

    def placed_product(self, source):
        """The one product file placed under the wizard folder, equal to `source`."""
        files = self.placed_files()
        check(len(files) == 1, f"expected one product file in {self.wizard_folder}, found {files}")
        check(files[0].name.upper().endswith(".MSI"), f"the placed file {files[0].name} does not end in MSI")
        check(files[0].read_bytes() == Path(source).read_bytes(), f"{files[0]} differs from {source}")
        return str(PureWindowsPath(self.wizard_folder) / files[0].name)

    def run_and_answer(self, command_line, caption):
        """Runs a setup that shows one box captioned `caption`, answered with Enter."""
        run = self.session.start(command_line)
        run.answer(caption)
        return run.finish()


def _copy_with(source, target, change):
    data = bytearray(Path(source).read_bytes())
    change(data)
    Path(target).write_bytes(data)
    return target


# --- scenarios ------------------------------------------------------------------


def bare_stub_without_settings_ends_silently(ctx):
    stub = ctx.place("bare", ctx.stub, "vesk-stub.exe")
    outcome = ctx.session.run_command(f'"{stub}"')
    check(outcome.exit_code == 0, f"exit code {outcome.exit_code}, expected 0")
    check(outcome.boxes == [], f"unexpected message boxes: {outcome.boxes}")
    ctx.expect_nothing_written(outcome)


def embedded_setup_without_arguments_installs(ctx):
    setup = ctx.place("embedded", ctx.setup_for(ctx.packages.product_v1, "product-1.0.0"))
    run = ctx.session.start(f'"{setup}"')
    splash = run.wait_window(PRODUCT_NAME, accept=is_splash)
    ctx.session.screenshot("splash.png")
    colours = ctx.session.colours(splash)
    outcome = run.finish()
    # The picture is shades of blue under two lines of white text.
    check(len(colours) >= 8, f"the splash window shows {len(colours)} colours, not its picture")
    check(WHITE in colours, "the splash window shows no white text")
    placed = ctx.placed_product(ctx.packages.product_v1)
    ctx.expect_installed(outcome, setup, "1.0.0", ["/I", placed])
    ui_level = ctx.session.product_record("UILevel")
    check(ui_level == "5", f"the engine ran with UI level {ui_level!r}, expected full UI (5)")


# A builder's splash: stripes in colours the stub's own picture does not have.
BRANDED_SIZE = (420, 180)
BRANDED_PALETTE = [(255, 0, 0), (0, 160, 0), (255, 200, 0), (0, 0, 0)]


def branded_splash_is_shown(ctx):
    picture = build_splash_bmp(ctx.work_dir / "branded.bmp", *BRANDED_SIZE, BRANDED_PALETTE)
    built = ctx.setup_for(ctx.packages.product_v1, "branded", options=["--splash", picture])
    setup = ctx.place("branded", built)
    run = ctx.session.start(f'"{setup}"')
    splash = run.wait_window(PRODUCT_NAME, accept=lambda w: (w.width, w.height) == BRANDED_SIZE)
    ctx.session.screenshot("branded-splash.png")
    colours = ctx.session.colours(splash)
    outcome = run.finish()
    for r, g, b in BRANDED_PALETTE:
        check(bytes((r, g, b)) in colours, f"the splash window does not show the picture's colour {(r, g, b)}")
    check(WHITE in colours, "the splash window shows no white text over the picture")
    ctx.expect_installed(outcome, setup, "1.0.0", ["/I", ctx.placed_product(ctx.packages.product_v1)])


def signed_setup_passes_its_size_check_and_installs(ctx):
    cert, key = build_signing_pair(ctx.work_dir)
    built = ctx.setup_for(ctx.packages.product_v1, "signed", options=["--sign-cert", cert, "--sign-key", key])
    data = Path(built).read_bytes()
    check(int.from_bytes(data[0x3C:0x40], "little") > 0, "the signed setup has no PE header")
    setup = ctx.place("signed", built)
    outcome = ctx.session.run_command(f'"{setup}"')
    check(CORRUPT_TEXT not in outcome.boxes, "the signed setup failed its own size check")
    ctx.expect_installed(outcome, setup, "1.0.0", ["/I", ctx.placed_product(ctx.packages.product_v1)])


def version_resource_reads_through_getfileversioninfo(ctx):
    built = ctx.setup_for(ctx.packages.product_v1, "versioned", options=["--set", "VersionCompanyName=Vesk Tests"])
    setup = ctx.place("versioned", built, "versioned-setup.exe")
    expected = {"ProductName": PRODUCT_NAME, "FileDescription": f"{PRODUCT_NAME} Setup", "ProductVersion": "1.0.0",
                "CompanyName": "Vesk Tests", "OriginalFilename": "versioned.exe"}
    for name, value in expected.items():
        fixed, text = ctx.session.file_version(setup, name)
        check(fixed == "1.0.0.0", f"the fixed file version reads {fixed!r}, expected '1.0.0.0'")
        check(text == value, f"{name} reads {text!r}, expected {value!r}")


def plain_word_tail_is_dropped(ctx):
    """Also from a folder with a blank in its name: the quoted program path
    ends before the tail, and the setup's path reaches the engine whole."""
    setup = ctx.place("plain word", ctx.setup_for(ctx.packages.product_v1, "product-1.0.0"), "my setup.exe")
    outcome = ctx.session.run_command(f'"{setup}" hello')
    placed = ctx.placed_product(ctx.packages.product_v1)
    ctx.expect_installed(outcome, setup, "1.0.0", ["/I", placed])


def switch_tail_replaces_default_switch(ctx):
    setup = ctx.place("switches", ctx.setup_for(ctx.packages.product_v1, "product-1.0.0"))
    outcome = ctx.session.run_command(f'"{setup}" {QUIET_ENGINE}')
    placed = ctx.placed_product(ctx.packages.product_v1)
    ctx.expect_installed(outcome, setup, "1.0.0", QUIET_ENGINE.split() + [placed])
    ui_level = ctx.session.product_record("UILevel")
    check(ui_level == "3", f"the engine ran with UI level {ui_level!r}, expected basic (3) from /qb-")


def property_tail_is_passed_whole(ctx):
    setup = ctx.place("allusers", ctx.setup_for(ctx.packages.product_v1, "product-1.0.0"))
    tail = f"ALLUSERS=1 {QUIET_ENGINE}"
    outcome = ctx.session.run_command(f'"{setup}" {tail}')
    placed = ctx.placed_product(ctx.packages.product_v1)
    ctx.expect_installed(outcome, setup, "1.0.0", tail.split() + [placed])
    all_users = ctx.session.product_record("AllUsers")
    check(all_users == "1", f"ALLUSERS arrived as {all_users!r}, expected '1'")


def lone_switch_tail_gets_no_install_switch(ctx):
    """/qn alone replaces /I, so the engine has no action and shows its usage."""
    setup = ctx.place("loneswitch", ctx.setup_for(ctx.packages.product_v1, "product-1.0.0"))
    run = ctx.session.start(f'"{setup}" /qn')
    run.answer("Error", timeout=60)
    outcome = run.finish()
    placed = ctx.placed_product(ctx.packages.product_v1)
    expected_run = ["/qn", placed, f"VESK_SETUP_EXE_PATH={setup}"]
    check(outcome.engine_runs == [expected_run],
          f"engine command lines {outcome.engine_runs}, expected [{expected_run}]")
    check(any("Usage" in box for box in outcome.boxes), f"the engine showed no usage text: {outcome.boxes}")
    check(outcome.exit_code != 0, "the engine's refusal was reported as success (exit code 0)")
    version = ctx.session.installed_version(PRODUCT_CODE)
    check(version is None, f"the product got installed (version {version})")


def verbatim_tail_is_the_whole_command(ctx):
    """/* hands the rest, environment expanded, to the engine as it is: here
    it installs version 2 from the temporary folder instead of the carried 1."""
    temp = ctx.session.temp_folder()
    ctx.session.install_file(ctx.packages.product_v2, rf"{temp}\verbatim.msi")
    setup = ctx.place("verbatim", ctx.setup_for(ctx.packages.product_v1, "product-1.0.0"))
    outcome = ctx.session.run_command(f'"{setup}" /* /qn /i %TEMP%\\verbatim.msi')
    ctx.placed_product(ctx.packages.product_v1)
    ctx.expect_installed(outcome, setup, "2.0.0", ["/qn", "/i", rf"{temp}\verbatim.msi"])


def verbatim_empty_tail_starts_no_engine(ctx):
    setup = ctx.place("verbatimempty", ctx.setup_for(ctx.packages.product_v1, "product-1.0.0"))
    outcome = ctx.session.run_command(f'"{setup}" /*')
    check(outcome.exit_code == 0, f"exit code {outcome.exit_code}, expected 0")
    check(outcome.engine_runs == [], f"the engine was started: {outcome.engine_runs}")
    ctx.placed_product(ctx.packages.product_v1)


def place_side_file_setup(ctx, scenario, package, version, *lines):
    """The bare stub as setup.exe beside its setup.ini and product.msi, in
    C:\\setups\\<scenario>; the INI gives the product's identity, the quiet
    engine switches and `lines`. Returns the setup's and the product's paths."""
    setup = ctx.place(scenario, ctx.stub)
    product = ctx.place(scenario, package, "product.msi")
    ini = ctx.work_dir / f"{scenario}.ini"
    ini.write_text("\r\n".join(["[VeskInstaller]", f"ProductName={PRODUCT_NAME}", f"ProductCode={PRODUCT_CODE}",
                                 f"ProductVersion={version}", "ProductFile=product.msi",
                                 f"CmdLine={QUIET_ENGINE}", *lines]) + "\r\n")
    ctx.place(scenario, ini, "setup.ini")
    return setup, product


def side_file_mode_installs(ctx):
    setup, product = place_side_file_setup(ctx, "side", ctx.packages.product_v2, "2.0.0")
    outcome = ctx.session.run_command(f'"{setup}"')
    ctx.expect_installed(outcome, setup, "2.0.0", QUIET_ENGINE.split() + [product])
    check(ctx.placed_files() == [], f"side-file mode placed files: {ctx.placed_files()}")


def flipped_payload_byte_shows_crc_error(ctx):
    source = ctx.setup_for(ctx.packages.product_v1, "product-1.0.0")
    product = ctx.packages.product_v1.read_bytes()

    def flip_in_product(data):
        start = bytes(data).find(product)
        check(start > 0, "the product's bytes are not stored in the setup")
        data[start + len(product) // 2] ^= 0x01

    damaged = _copy_with(source, ctx.work_dir / "flipped.exe", flip_in_product)
    setup = ctx.place("flipped", damaged)
    outcome = ctx.run_and_answer(f'"{setup}"', "Install")
    check(outcome.boxes == [CRC_TEXT], f"boxes {outcome.boxes}, expected [{CRC_TEXT!r}]")
    check(outcome.exit_code == 1, f"exit code {outcome.exit_code}, expected 1")
    ctx.expect_nothing_written(outcome)


def setup_one_byte_longer_is_corrupt(ctx):
    source = ctx.setup_for(ctx.packages.product_v1, "product-1.0.0")
    longer = _copy_with(source, ctx.work_dir / "longer.exe", lambda data: data.append(0))
    setup = ctx.place("longer", longer)
    outcome = ctx.run_and_answer(f'"{setup}"', "Install")
    check(outcome.boxes == [CORRUPT_TEXT], f"boxes {outcome.boxes}, expected [{CORRUPT_TEXT!r}]")
    check(outcome.exit_code == 1, f"exit code {outcome.exit_code}, expected 1: a failure is never reported as 0")
    ctx.expect_nothing_written(outcome)


def cancel_during_extraction_deletes_partial_file(ctx):
    large = build_large_file(ctx.packages.product_v1, ctx.work_dir / "large.msi", LARGE_PRODUCT_SIZE)
    setup = r"C:\setups\large\setup.exe"
    # Packed straight into the prefix: no second copy of a large file.
    packed = ctx.session.unix_path(setup)
    packed.parent.mkdir(parents=True, exist_ok=True)
    try:
        pack(ctx.vesk, large, packed, ctx.arch, ProductCode=PRODUCT_CODE, ProductVersion="3.0.0",
             ProductName=PRODUCT_NAME)
        large.unlink()
        run = ctx.session.start(f'"{setup}"', timeout=180)
        splash = run.wait_window(PRODUCT_NAME, accept=is_splash)
        # Extraction runs at memory speed and could end before anyone looks:
        # the setup stands still through the splash's hold, so the dialog comes
        # up with nearly all of the product still to write, and again while
        # the dialog is looked at and Cancel is clicked.
        setup_process = ctx.session.window_process(splash)
        with standing_still(setup_process):
            time.sleep(SPLASH_HOLD_SECONDS + 0.5)
        try:
            dialog = run.wait_window(PRODUCT_NAME, timeout=60, accept=is_progress_dialog)
        except Failure as missing:
            raise Failure(f"{missing} (an extraction that ends soon after the splash's hold opens no dialog: "
                          "this machine needs a larger product)") from None
        with standing_still(setup_process):
            ctx.session.screenshot("progress.png")
            colours = ctx.session.colours(dialog)
            check(len(colours) >= 4, f"the progress dialog shows {len(colours)} colours: no text, bar and button")
            partial = ctx.placed_files()
            check(len(partial) == 1 and partial[0].stat().st_size < LARGE_PRODUCT_SIZE,
                  f"expected one partly written product file while the dialog is up, found {partial}")
            click_cancel(ctx.session, dialog)
        outcome = run.finish()
    finally:
        large.unlink(missing_ok=True)
        packed.unlink(missing_ok=True)
    check(outcome.exit_code == 1, f"exit code {outcome.exit_code}, expected 1 after Cancel")
    check(outcome.boxes == [], f"Cancel showed message boxes: {outcome.boxes}")
    ctx.expect_nothing_written(outcome)


@contextmanager
def standing_still(pid):
    """The process stopped for the block (SIGSTOP), running again after it."""
    os.kill(pid, signal.SIGSTOP)
    try:
        yield
    finally:
        os.kill(pid, signal.SIGCONT)


def click_cancel(session, dialog):
    """Clicks the dialog's Cancel button.

    The pump passes no keys to the dialog manager, so only the mouse works.
    Wine's X window for the dialog is its client area, 208 x 66 dialog units;
    the button's centre lies at (176, 53) of them."""
    session.click(dialog.x + dialog.width * 176 // 208, dialog.y + dialog.height * 53 // 66)


def engine_failure_is_the_exit_code(ctx):
    setup = ctx.place("failing", ctx.setup_for(ctx.packages.failing, "failing"))
    # With any engine UI the package's own failure box would wait for a key.
    outcome = ctx.session.run_command(f'"{setup}" {UNATTENDED_ENGINE}')
    check(len(outcome.engine_runs) == 1, f"engine command lines {outcome.engine_runs}, expected one run")
    check(outcome.exit_code == 1603, f"exit code {outcome.exit_code}, expected the engine's 1603")
    version = ctx.session.installed_version(FAILING_CODE)
    check(version is None, f"the failing product is installed (version {version})")


def planted_libraries_never_run_inside_the_setup(ctx):
    """Marker DLLs named like system libraries lie beside the setup, and Wine
    looks for those names as Windows does: in the program's folder first.
    What a do-nothing program with the same imports loads too is Wine's own
    doing before any program code runs, and is left out."""
    for name in PLANTED_NAMES:
        ctx.place("planted", build_marker_dll(ctx.work_dir, ctx.arch, name), f"{name}.dll")
    baseline = ctx.place("planted", build_baseline(ctx.work_dir, ctx.arch), "baseline.exe")
    setup = ctx.place("planted", ctx.setup_for(ctx.packages.product_v1, "product-1.0.0"))
    log = ctx.session.unix_path(MARKER_LOG)
    log.parent.mkdir(parents=True, exist_ok=True)

    def loaded_by(command_line):
        log.write_text("")
        outcome = ctx.session.run_command(command_line, timeout=120, native_first=PLANTED_NAMES)
        lines = log.read_text(errors="replace").splitlines()
        return outcome, {line.split("|", 1)[0]: line for line in lines if "|" in line}

    _, before_code = loaded_by(f'"{baseline}"')
    print(f"    planted beside the setup: {', '.join(PLANTED_NAMES)}; loaded by Wine before any program code, "
          f"left out: {', '.join(sorted(before_code)) or 'none'}", flush=True)
    outcome, loaded = loaded_by(f'"{setup}" {QUIET_ENGINE}')
    ran = {name: line for name, line in loaded.items() if name not in before_code}
    check(not ran, f"planted DLLs ran inside the setup or its engine: {sorted(ran.values())}")
    # Those a setup once loaded from beside itself must be tested, not left out.
    for name in ("comctl32", "uxtheme", "wintrust"):
        check(name not in before_code, f"Wine loads {name} before any program code: the check would prove nothing")
    placed = ctx.placed_product(ctx.packages.product_v1)
    ctx.expect_installed(outcome, setup, "1.0.0", QUIET_ENGINE.split() + [placed])


ERROR_IMAGE_NOT_AT_BASE = 700
# A release whose Wine (10) starts programs away from their preferred base,
# where this machine's (Wine 8) does not; the relocated runs go there then.
RELOCATING_RELEASE = "trixie"
SOURCE_DIR = Path(__file__).resolve().parents[2]


def _loaded_elsewhere(name, preferred, base):
    print(f"    {name}: preferred base {preferred:#x}, loaded at {base:#x}", flush=True)
    check(base != preferred, f"{name}: loaded at its preferred base {base:#x}: nothing was relocated")


def _run_rebased(ctx, name, copy, preferred, tail=""):
    """Runs `copy`; returns the outcome, once the loader's trace shows it placed elsewhere."""
    program = ctx.place(name, copy)
    run = ctx.session.start(f'"{program}" {tail}'.strip(), timeout=180, trace=",trace+loaddll")
    outcome = run.finish()
    file_name = PureWindowsPath(program).name
    loaded = re.search(r'Loaded L"[^"]*\\' + re.escape(file_name) + r'" at (?:0x)?([0-9a-fA-F]+)', run.log())
    check(loaded, f"{name}: Wine's loader trace names no {file_name}")
    _loaded_elsewhere(name, preferred, int(loaded.group(1), 16))
    return program, outcome


def _run_rebased_in_root(ctx, runs):
    """Runs the rebased copies under the Wine of a root of RELOCATING_RELEASE
    (tests/e2e/relocated_in_root.sh): each relocated, ending with exit code 0
    and, where it carries the product, with the product installed."""
    folder = ctx.work_dir / "relocated-root"
    shutil.rmtree(folder, ignore_errors=True)
    folder.mkdir(parents=True)
    shutil.copy(ctx.session.probe, folder / "probe.exe")
    for name, (copy, _, _) in runs.items():
        shutil.copy(copy, folder / f"{name}.exe")
    command = [str(SOURCE_DIR / "scripts/in-root"), "--bind", f"{folder}:/relocated", RELOCATING_RELEASE, "wine",
               "sh", "/src/tests/e2e/relocated_in_root.sh", "/relocated", ctx.arch, PRODUCT_CODE,
               "/relocated/probe.exe"] + [f"{name}:{tail}" for name, (_, _, tail) in runs.items()]
    result = subprocess.run(command, capture_output=True, text=True, timeout=1500)
    said = {line.split()[0]: dict(field.split("=", 1) for field in line.split()[1:])
            for line in result.stdout.splitlines() if line.split() and line.split()[0] in runs}
    check(result.returncode == 0 and len(said) == len(runs),
          f"the {RELOCATING_RELEASE} root's Wine ran {len(said)} of {len(runs)} setups (exit status "
          f"{result.returncode}): {(result.stderr.strip().splitlines() or ['nothing on stderr'])[-1]}")
    for name, (_, preferred, tail) in runs.items():
        check(said[name]["base"] != "none", f"{name}: the loader's trace names no {name}.exe")
        _loaded_elsewhere(name, preferred, int(said[name]["base"], 16))
        check(said[name]["exit"] == "0", f"{name}: exit code {said[name]['exit']}, expected 0")
        expected = "1.0.0" if tail else "none"
        check(said[name]["version"] == expected, f"{name}: installed version {said[name]['version']}, expected {expected}")


def relocated_setups_install(ctx):
    """Setups whose preferred base another mapping holds, so that the loader
    must place them elsewhere and apply their relocations: one with the
    small test product, whose container would end inside the image, and one
    with a product of some megabytes, whose container reaches far past it.
    The bare stub, moved the same way, shows first whether this Wine starts
    a program away from its preferred base at all. Wine 8 starts none: then
    all three run under the Wine of a root of RELOCATING_RELEASE."""
    products = {"relocated-small": ctx.packages.product_v1,
                "relocated-large": build_large_msi(ctx.work_dir, RELOCATED_PRODUCT_SIZE)}
    runs = {"relocated-bare": (*rebased_copy(ctx.stub, ctx.work_dir / "relocated-bare-rebased.exe"), "")}
    for name, product in products.items():
        setup = ctx.setup_for(product, name)
        runs[name] = (*rebased_copy(setup, ctx.work_dir / f"{name}-rebased.exe"), QUIET_ENGINE)
    try:
        _run_rebased(ctx, "relocated-bare", *runs["relocated-bare"][:2])
    except Failure as refused:
        if f"(Windows error {ERROR_IMAGE_NOT_AT_BASE})" not in str(refused):
            raise
        print(f"    this Wine starts no program away from its preferred base (ERROR_IMAGE_NOT_AT_BASE): "
              f"running them under the Wine of a {RELOCATING_RELEASE} root", flush=True)
        _run_rebased_in_root(ctx, runs)
        return
    for name, product in products.items():
        ctx.fresh_state()
        setup, outcome = _run_rebased(ctx, name, *runs[name])
        ctx.expect_installed(outcome, setup, "1.0.0", QUIET_ENGINE.split() + [ctx.placed_product(product)])


def simulator_rows_agree_with_wine(ctx):
    """The rows of platform behaviour that the unit tests check against the
    simulator, run under Wine: the simulator may not drift from it unseen."""
    probe = build_platform_probe(ctx.work_dir, ctx.arch)
    result = ctx.session.wine([probe], timeout=120)
    out = result.stdout.replace("\r", "")
    summary = out.strip().splitlines()[-1] if out.strip() else ""
    check(result.returncode == 0 and summary.endswith(", 0 differ"),
          f"the platform rows under Wine: {summary or 'no summary'} (exit status {result.returncode})\n" +
          "\n".join(line for line in out.splitlines() if not line.startswith("same: ")))


def swapped_setup_after_a_suspended_start_is_corrupt(ctx):
    """Another program of the user starts the setup suspended, renames its file
    away and puts another packed setup at its path, one that carries the fake
    runtime, or the bare stub beside an INI file and a database of its own:
    the image Windows started refuses what the file now holds."""
    packed = ctx.setup_for(ctx.packages.product_v1, "product-1.0.0")
    place_side_file_setup(ctx, "swapped-bare", ctx.packages.product_v2, "2.0.0")
    for scenario, source in [("swapped", runtime_setup(ctx, "runtime-5.0")), ("swapped-bare", ctx.stub)]:
        ctx.fresh_state()
        setup = ctx.place(scenario, packed)
        other = ctx.place(scenario, source, "other.exe")
        ctx.runtime_exit_codes(0)
        run = ctx.session.start(f'"{setup}" {QUIET_ENGINE}', runner=[ctx.attacker(), "swap", setup, other])
        run.answer("Install")
        outcome = run.finish()
        check(ctx.session.unix_path(setup + ".old").exists(), f"{scenario}: the attacker could not rename the setup away")
        check(ctx.runtime_runs() == [], f"{scenario}: the other setup's runtime ran: {ctx.runtime_runs()}")
        check(outcome.boxes == [CORRUPT_TEXT], f"{scenario}: boxes {outcome.boxes}, expected [{CORRUPT_TEXT!r}]")
        check(outcome.exit_code == 1, f"{scenario}: exit code {outcome.exit_code}, expected 1")
        ctx.expect_nothing_written(outcome)


def writes_into_what_the_setup_runs_never_run(ctx):
    """Another program of the user writes its own image over the runtime
    installer and the product database, again and again while they are
    extracted and run: none of its code runs. Either the product installs,
    or a write that landed between a file's writing and its hold ends the
    run as a corrupt container (which of the two is the race's). Unattended,
    so that such an end waits for no key."""
    padded = ctx.work_dir / "padded-runtime.exe"
    if not padded.exists():
        padded.write_bytes(Path(ctx.fake_runtime()).read_bytes() + bytes(ATTACKED_RUNTIME_PADDING))
    setup = ctx.place("attacked", ctx.setup_for(ctx.packages.product_v1, "runtime-5.0-padded", RuntimeNT=padded,
                                                RuntimeVersion=NEWER_RUNTIME))
    ctx.runtime_exit_codes(0)
    log = ctx.session.unix_path(ATTACKER_LOG)
    stop = RUNTIME_FOLDER + r"\stop"
    log.unlink(missing_ok=True)
    ctx.session.unix_path(stop).unlink(missing_ok=True)
    attacker = subprocess.Popen(ctx.session.loader + [str(ctx.attacker()), "write", "300", stop, ctx.wizard_folder],
                                env=ctx.session.env(), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        deadline = time.monotonic() + 60
        while time.monotonic() < deadline and not (log.exists() and "STARTED" in log.read_text(errors="replace")):
            time.sleep(0.2)
        check(log.exists(), "the attacker did not start")
        outcome = ctx.session.run_command(f'"{setup}" {UNATTENDED_ENGINE}', timeout=180)
    finally:
        ctx.session.unix_path(stop).write_text("")
        try:
            attacker.wait(timeout=60)
        except subprocess.TimeoutExpired:
            attacker.kill()
    lines = log.read_text(errors="replace").splitlines() if log.exists() else []
    check(not [line for line in lines if line.startswith("RAN")], f"the attacker's code ran: {lines}")
    tried = next((line for line in lines if line.startswith("TRIED")), "")
    check(tried and " runtime=0" not in tried, f"the attacker never found the runtime installer: {tried or lines}")
    if outcome.exit_code == 1:
        check(outcome.events == [CORRUPT_TEXT], f"a refused run logged {outcome.events}, expected [{CORRUPT_TEXT!r}]")
        ctx.expect_nothing_written(outcome)
        return
    # Its folder may stay: the attacker's own opens, once the installer has
    # run and its hold is gone, can keep the setup from deleting it.
    runs = ctx.runtime_runs()
    check(len(runs) == 1 and runs[0][2] == "/q /r:n" and runs[0][0].lower().endswith(r"\runtime.exe"),
          f"the runtime ran {runs}, expected once as runtime.exe with '/q /r:n'")
    # The database stays after the run, unheld: what the engine read shows in
    # what it installed.
    files = ctx.placed_files()
    check(len(files) == 1, f"expected one product file in {ctx.wizard_folder}, found {files}")
    placed = str(PureWindowsPath(ctx.wizard_folder) / files[0].name)
    ctx.expect_installed(outcome, setup, "1.0.0", UNATTENDED_ENGINE.split() + [placed])


def runtime_setup(ctx, name, required=NEWER_RUNTIME):
    """A setup of product 1.0.0 carrying the fake runtime as its NT-family installer."""
    return ctx.setup_for(ctx.packages.product_v1, name, RuntimeNT=ctx.fake_runtime(), RuntimeVersion=required)


def wait_question(run):
    """The restart question: the box captioned with the product name, not the splash."""
    return run.wait_window(PRODUCT_NAME, timeout=60, accept=is_progress_dialog)


# Where an administrator's run (Wine's user is one) makes its runtime
# installer's folder: the system's temporary folder, beside the system folder.
SYSTEM_TEMP = PureWindowsPath(r"c:\windows\temp")


def expect_one_temporary_run(ctx, runs, expected):
    check(len(runs) == expected, f"the runtime ran {len(runs)} times, expected {expected}: {runs}")
    for program, started_in, command, temp in runs:
        check(command == "/q /r:n", f"the runtime got {command!r}, expected '/q /r:n'")
        folder = PureWindowsPath(ntpath.normpath(program.lower())).parent
        check(PureWindowsPath(ntpath.normpath(started_in.lower())) == folder,
              f"the runtime started in {started_in}, not in its own folder {folder}")
        check(PureWindowsPath(ntpath.normpath(temp.lower())) == folder,
              f"the runtime's temporary folder is {temp}, not its own folder {folder}")
        check(folder.parent == SYSTEM_TEMP and program.lower().endswith(".exe"),
              f"the runtime ran as {program}, not as an .exe in a folder of its own in {SYSTEM_TEMP}")
        check(not ctx.session.unix_path(program).exists(), f"the runtime {program} was left behind")


def older_runtime_is_installed_first(ctx):
    setup = ctx.place("runtime", runtime_setup(ctx, "runtime-5.0"))
    ctx.runtime_exit_codes(0)
    outcome = ctx.session.run_command(f'"{setup}" {QUIET_ENGINE}')
    expect_one_temporary_run(ctx, ctx.runtime_runs(), 1)
    placed = ctx.placed_product(ctx.packages.product_v1)
    ctx.expect_installed(outcome, setup, "1.0.0", QUIET_ENGINE.split() + [placed])
    check(ctx.resume_value() is None, "a resume value was written")


def recent_runtime_is_not_installed(ctx):
    setup = ctx.place("recentruntime", runtime_setup(ctx, "runtime-4.5", INSTALLED_RUNTIME))
    ctx.runtime_exit_codes(0)
    outcome = ctx.session.run_command(f'"{setup}" {QUIET_ENGINE}')
    check(ctx.runtime_runs() == [], f"the runtime ran: {ctx.runtime_runs()}")
    placed = ctx.placed_product(ctx.packages.product_v1)
    ctx.expect_installed(outcome, setup, "1.0.0", QUIET_ENGINE.split() + [placed])


def runtime_restart_declined_installs_nothing(ctx):
    setup = ctx.place("declined", runtime_setup(ctx, "runtime-5.0"))
    ctx.runtime_exit_codes(3010)
    run = ctx.session.start(f'"{setup}" {QUIET_ENGINE}')
    ctx.session.press(wait_question(run), "n")
    outcome = run.finish()
    check(outcome.boxes == [REBOOT_TEXT], f"boxes {outcome.boxes}, expected the restart question")
    check(outcome.exit_code == 0, f"exit code {outcome.exit_code}, expected 0")
    expect_one_temporary_run(ctx, ctx.runtime_runs(), 1)
    ctx.expect_nothing_written(outcome)
    check(ctx.resume_value() is None, f"a resume value was written: {ctx.resume_value()!r}")


def runtime_restart_resumes_and_installs(ctx):
    """Yes restarts the prefix; Wine then starts the Run key's entries, so the
    setup comes back with its arguments, runs the runtime again (now 0) and
    installs the product."""
    setup = ctx.place("resume", runtime_setup(ctx, "runtime-5.0"))
    ctx.runtime_exit_codes(3010, 0)
    run = ctx.session.start(f'"{setup}" {QUIET_ENGINE}')
    ctx.session.press(wait_question(run), "y")
    deadline = time.monotonic() + 90
    while time.monotonic() < deadline and ctx.session.installed_version(PRODUCT_CODE) is None:
        time.sleep(2)
    outcome = run.finish()
    check(outcome.exit_code == 0, f"the first run ended with {outcome.exit_code}, expected 0")
    expect_one_temporary_run(ctx, ctx.runtime_runs(), 2)
    version = ctx.session.installed_version(PRODUCT_CODE)
    check(version == "1.0.0", f"after the restart the installed version is {version!r}, expected '1.0.0'")
    recorded = ctx.session.product_record("SetupExePath")
    check(recorded == setup, f"VESK_SETUP_EXE_PATH arrived as {recorded!r}, expected {setup!r}")
    check(ctx.resume_value() is None, f"the resume value remained: {ctx.resume_value()!r}")


def side_file_custom_runtime_command_asks_nothing(ctx):
    setup, product = place_side_file_setup(ctx, "sideruntime", ctx.packages.product_v1, "1.0.0",
                                           f"RuntimeVersion={NEWER_RUNTIME}", "RuntimeNT=instmsiw.exe",
                                           "InstMsi CmdLine=/quiet")
    installer = ctx.place("sideruntime", ctx.fake_runtime(), "instmsiw.exe")
    ctx.runtime_exit_codes(3010)
    outcome = ctx.session.run_command(f'"{setup}"')
    runs = ctx.runtime_runs()
    check([command for _, _, command, _ in runs] == ["/quiet"], f"runtime runs {runs}, expected one with '/quiet'")
    started_in = PureWindowsPath(runs[0][1].lower()) if runs else None
    check(started_in == PureWindowsPath(setup.lower()).parent,
          f"the runtime started in {started_in}, not in the setup's own folder")
    check(ctx.session.unix_path(installer).exists(), "the installer beside the setup was deleted")
    ctx.expect_installed(outcome, setup, "1.0.0", QUIET_ENGINE.split() + [product])


def removal_question(name, installed, version):
    return (f"{name} Version {installed} is already installed. You must uninstall the existing version before "
            f"installing {name} Version {version}.\r\n\r\nDo you want to uninstall the existing version of {name}?")


def ask_about_installed(ctx, package, setup_name, key, **settings):
    """Runs a setup over an installed version and answers its removal question
    with `key`; the question's window must stand alone, the splash hidden
    behind it. Returns the outcome and the setup's path."""
    setup = ctx.place(setup_name, ctx.setup_for(package, setup_name, **settings))
    run = ctx.session.start(f'"{setup}" {QUIET_ENGINE}')
    question = wait_question(run)
    # The splash is hidden before the box is made; the display may show that
    # a moment later (much later under an emulator).
    end = time.monotonic() + 15
    while any(is_splash(window) for window in ctx.session.windows(PRODUCT_NAME)) and time.monotonic() < end:
        time.sleep(0.2)
    visible = ctx.session.windows(PRODUCT_NAME)
    shot = ctx.session.screenshot("removal-question.png")
    check(not any(is_splash(window) for window in visible),
          f"the splash stays on screen during the question: {visible}; screenshot: {shot}")
    ctx.session.press(question, key)
    return run.finish(), setup


def removal_yes_replaces_the_installed_version(ctx):
    ctx.install_directly(ctx.packages.product_v1)
    outcome, setup = ask_about_installed(ctx, ctx.packages.product_v2, "product-2.0.0", "y")
    expected = removal_question(PRODUCT_NAME, "1.0.0", "2.0.0")
    check(outcome.boxes == [expected], f"boxes {outcome.boxes}, expected [{expected!r}]")
    placed = ctx.placed_product(ctx.packages.product_v2)
    outcome.boxes = []
    ctx.expect_installed(outcome, setup, "2.0.0", QUIET_ENGINE.split() + [placed])


def removal_no_keeps_the_installed_version(ctx):
    ctx.install_directly(ctx.packages.product_v1)
    outcome, _ = ask_about_installed(ctx, ctx.packages.product_v2, "product-2.0.0", "n")
    check(outcome.exit_code == 1, f"exit code {outcome.exit_code}, expected 1 after No")
    check(len(outcome.boxes) == 1, f"boxes {outcome.boxes}, expected the question alone")
    check(ctx.placed_files() == [], f"a product file was placed: {ctx.placed_files()}")
    check(outcome.engine_runs == [], f"the engine was started: {outcome.engine_runs}")
    version = ctx.session.installed_version(PRODUCT_CODE)
    check(version == "1.0.0", f"installed version {version!r}, expected '1.0.0' kept")


def same_version_installed_asks_nothing(ctx):
    ctx.install_directly(ctx.packages.product_v2)
    setup = ctx.place("sameversion", ctx.setup_for(ctx.packages.product_v2, "product-2.0.0"))
    outcome = ctx.session.run_command(f'"{setup}" {QUIET_ENGINE}')
    check(outcome.boxes == [], f"boxes {outcome.boxes}, expected none")
    check(len(outcome.engine_runs) == 1, f"engine runs {outcome.engine_runs}, expected one")
    version = ctx.session.installed_version(PRODUCT_CODE)
    check(version == "2.0.0", f"installed version {version!r}, expected '2.0.0'")


def newer_installed_version_is_asked_about_too(ctx):
    ctx.install_directly(ctx.packages.product_v2)
    outcome, _ = ask_about_installed(ctx, ctx.packages.product_v1, "product-1.0.0", "n")
    expected = removal_question(PRODUCT_NAME, "2.0.0", "1.0.0")
    check(outcome.boxes == [expected], f"boxes {outcome.boxes}, expected [{expected!r}]")
    check(outcome.exit_code == 1, f"exit code {outcome.exit_code}, expected 1 after No")


def side_file_without_remove_previous_asks_nothing(ctx):
    """msiexec itself then refuses the second version: 1638 is the setup's code."""
    ctx.install_directly(ctx.packages.product_v1)
    setup, _ = place_side_file_setup(ctx, "sidenoremove", ctx.packages.product_v2, "2.0.0")
    outcome = ctx.session.run_command(f'"{setup}"')
    check(outcome.boxes == [], f"boxes {outcome.boxes}, expected no question")
    check(len(outcome.engine_runs) == 1, f"engine runs {outcome.engine_runs}, expected one over the installed version")
    check(outcome.exit_code == 1638, f"exit code {outcome.exit_code}, expected the engine's 1638")


def product_name_beyond_ascii_is_shown(ctx):
    """The MSI's ProductName, UTF-8 in its Property table, is stored in code
    page 1252, which is Wine's ANSI code page here: the splash and the
    question show it as it is."""
    ctx.install_directly(ctx.packages.product_v1)
    setup = ctx.place("named", ctx.setup_for(ctx.packages.named_v2, "named"))
    run = ctx.session.start(f'"{setup}" {QUIET_ENGINE}')
    run.wait_window(NAMED_PRODUCT, timeout=60, accept=is_splash)
    ctx.session.screenshot("named-splash.png")
    question = run.wait_window(NAMED_PRODUCT, timeout=60, accept=is_progress_dialog)
    ctx.session.screenshot("named-question.png")
    ctx.session.press(question, "n")
    outcome = run.finish()
    expected = removal_question(NAMED_PRODUCT, "1.0.0", "2.0.0")
    check(outcome.boxes == [expected], f"boxes {outcome.boxes}, expected [{expected!r}]")


def _text_changed(old, new):
    """A change of a stored text into another of the same length."""
    def change(data):
        at = bytes(data).find(old)
        check(at > 0, f"the setup does not hold {old!r}")
        data[at:at + len(new)] = new
    return change


def configured_removal_questions(ctx):
    """One %s takes the name. A %d would read a number never passed: vesk
    refuses to pack one, and a setup changed to hold one anyway is no longer
    the setup its image records: the corrupt box, and nothing is removed."""
    question = "Remove the installed %s now?"
    ctx.install_directly(ctx.packages.product_v1)
    outcome, _ = ask_about_installed(ctx, ctx.packages.product_v2, "exist-name", "n", ExistError=question)
    expected = f"Remove the installed {PRODUCT_NAME} now?"
    check(outcome.boxes == [expected], f"exist-name: boxes {outcome.boxes}, expected [{expected!r}]")
    packed = ctx.setup_for(ctx.packages.product_v2, "exist-number", ExistError=question)
    changed = _copy_with(packed, ctx.work_dir / "exist-number-changed.exe",
                         _text_changed(b"installed %s now", b"installed %d now"))
    outcome = ctx.run_and_answer(f'"{ctx.place("exist-number", changed)}" {QUIET_ENGINE}', "Install")
    check(outcome.boxes == [CORRUPT_TEXT], f"exist-number: boxes {outcome.boxes}, expected [{CORRUPT_TEXT!r}]")
    version = ctx.session.installed_version(PRODUCT_CODE)
    check(version == "1.0.0", f"exist-number: the installed version is {version}, expected 1.0.0 kept")


def run_watched(ctx, command_line):
    """Runs a setup while looking at the screen: its outcome and the names
    of the windows seen meanwhile."""
    run = ctx.session.start(command_line)
    seen = set()
    while run.running():
        seen.update(ctx.session.window_names())
        time.sleep(0.2)
    return run.finish(), seen


def unattended_upgrade_shows_no_window(ctx):
    """/qn: no splash, no question; the older version goes as a Yes takes it."""
    ctx.install_directly(ctx.packages.product_v1)
    setup = ctx.place("unattended", ctx.setup_for(ctx.packages.product_v2, "product-2.0.0"))
    outcome, seen = run_watched(ctx, f'"{setup}" {UNATTENDED_ENGINE}')
    check(not seen, f"windows on screen during an unattended run: {sorted(seen)}")
    placed = ctx.placed_product(ctx.packages.product_v2)
    ctx.expect_installed(outcome, setup, "2.0.0", UNATTENDED_ENGINE.split() + [placed])


def unattended_downgrade_ends_with_1638(ctx):
    ctx.install_directly(ctx.packages.product_v2)
    setup = ctx.place("downgrade", ctx.setup_for(ctx.packages.product_v1, "product-1.0.0"))
    outcome = ctx.session.run_command(f'"{setup}" /quiet /i')
    check(outcome.exit_code == 1638, f"exit code {outcome.exit_code}, expected 1638")
    check(outcome.boxes == [], f"boxes {outcome.boxes}, expected none")
    check(outcome.engine_runs == [], f"the engine was started: {outcome.engine_runs}")
    version = ctx.session.installed_version(PRODUCT_CODE)
    check(version == "2.0.0", f"installed version {version!r}, expected '2.0.0' kept")


def unattended_failure_goes_to_the_event_log(ctx):
    source = ctx.setup_for(ctx.packages.product_v1, "product-1.0.0")
    cut = _copy_with(source, ctx.work_dir / "cut.exe", lambda data: data.__delitem__(slice(-1, None)))
    setup = ctx.place("cut", cut)
    outcome = ctx.session.run_command(f'"{setup}" /qn')
    check(outcome.boxes == [], f"boxes {outcome.boxes}, expected none")
    check(outcome.exit_code == 1, f"exit code {outcome.exit_code}, expected 1")
    check(outcome.events == [CORRUPT_TEXT], f"event log records {outcome.events}, expected [{CORRUPT_TEXT!r}]")
    ctx.expect_nothing_written(outcome)


def unseen_window_station_removes_and_installs(ctx):
    """Started on a window station of its own, as a service starts a program,
    with no switches: no box waits there, and the engine is told to show none."""
    ctx.install_directly(ctx.packages.product_v1)
    setup = ctx.place("unseen", ctx.setup_for(ctx.packages.product_v2, "product-2.0.0"))
    outcome = ctx.session.run_command(f'"{setup}"', station="VeskUnseen")
    placed = ctx.placed_product(ctx.packages.product_v2)
    ctx.expect_installed(outcome, setup, "2.0.0", ["/qn", "/I", placed])


SCENARIOS = [
    bare_stub_without_settings_ends_silently,
    # Early: where it needs a root of another release, the root is then made
    # while the package test is still busy with this machine's own release.
    relocated_setups_install,
    embedded_setup_without_arguments_installs,
    plain_word_tail_is_dropped,
    switch_tail_replaces_default_switch,
    property_tail_is_passed_whole,
    lone_switch_tail_gets_no_install_switch,
    verbatim_tail_is_the_whole_command,
    verbatim_empty_tail_starts_no_engine,
    side_file_mode_installs,
    flipped_payload_byte_shows_crc_error,
    setup_one_byte_longer_is_corrupt,
    cancel_during_extraction_deletes_partial_file,
    engine_failure_is_the_exit_code,
    older_runtime_is_installed_first,
    recent_runtime_is_not_installed,
    runtime_restart_declined_installs_nothing,
    runtime_restart_resumes_and_installs,
    side_file_custom_runtime_command_asks_nothing,
    removal_yes_replaces_the_installed_version,
    removal_no_keeps_the_installed_version,
    same_version_installed_asks_nothing,
    newer_installed_version_is_asked_about_too,
    side_file_without_remove_previous_asks_nothing,
    configured_removal_questions,
    product_name_beyond_ascii_is_shown,
    branded_splash_is_shown,
    signed_setup_passes_its_size_check_and_installs,
    version_resource_reads_through_getfileversioninfo,
    planted_libraries_never_run_inside_the_setup,
    swapped_setup_after_a_suspended_start_is_corrupt,
    writes_into_what_the_setup_runs_never_run,
    simulator_rows_agree_with_wine,
    unattended_upgrade_shows_no_window,
    unattended_downgrade_ends_with_1638,
    unattended_failure_goes_to_the_event_log,
    unseen_window_station_removes_and_installs,
]


# What the x64 twin runs where the 32-bit stub runs everything.
TWIN_SMOKE = [
    embedded_setup_without_arguments_installs,
    planted_libraries_never_run_inside_the_setup,
    swapped_setup_after_a_suspended_start_is_corrupt,
    writes_into_what_the_setup_runs_never_run,
    simulator_rows_agree_with_wine,
    flipped_payload_byte_shows_crc_error,
    side_file_mode_installs,
    relocated_setups_install,
    unattended_upgrade_shows_no_window,
    unseen_window_station_removes_and_installs,
]


def select(only=(), smoke=False):
    """The scenarios to run: every one, or the twin's smoke subset, narrowed
    to the names in `only` when it names any."""
    unknown = set(only) - {scenario.__name__ for scenario in SCENARIOS}
    if unknown:
        raise ValueError(f"no such scenarios: {sorted(unknown)}")
    return [scenario for scenario in (TWIN_SMOKE if smoke else SCENARIOS) if not only or scenario.__name__ in only]


def run_all(ctx, report, scenarios):
    """Runs each scenario from a clean state; `report(name, error, seconds)`
    hears each end (`error` None or the failure's text)."""
    for scenario in scenarios:
        started = time.monotonic()
        error = None
        try:
            ctx.fresh_state()
            scenario(ctx)
        except Failure as failure:
            error = str(failure)
        except Exception as crash:  # a harness fault fails this scenario only
            error = f"{type(crash).__name__}: {crash}"
        report(scenario.__name__, error, time.monotonic() - started)
