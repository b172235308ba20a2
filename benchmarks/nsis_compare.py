#!/usr/bin/env python3
"""Vesk beside NSIS around the same MSI (1 MiB and 256 MiB): the bytes each
adds around the MSI, the build time of `vesk pack` and of `makensis`, and
under Wine the time from the setup's start to the start of msiexec.

The NSIS installer stores the MSI uncompressed, shows no pages, writes the
MSI to the temporary folder and starts msiexec, as the Vesk setup does with
its common files folder. Both start times come from Wine's own trace clock
(the loading of the setup's and msiexec's executables); msiexec is stopped
as soon as it has started. Vesk's figure includes the splash's 3-second
hold, which its run sequence requires; the next column shows it without.
The row "vesk /qn" starts the same Vesk setup unattended (tail "/qn /i"):
no splash, so no hold and no window to withdraw.

Each tool builds for the same architecture: the 32-bit stub beside NSIS's
x86-unicode target where the kernel runs 32-bit programs, the x64 twin beside
its amd64-unicode target where it cannot.
Usage: benchmarks/nsis_compare.py [--build-dir build/host] [--runs 3] [--sizes 1,256]
"""

import argparse
import os
import platform
import re
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
sys.path.insert(0, str(ROOT / "tests" / "e2e"))

from fixtures import BuildError, build_large_file, build_msi, build_probe, pack  # noqa: E402
from harness import Session, WineUnavailable, plan_wine  # noqa: E402
from scenarios import SPLASH_HOLD_SECONDS  # noqa: E402

START_TIMEOUT = 120  # seconds a setup may take to start msiexec
UNATTENDED = ("/qn", "/i")  # the tail of a deployment tool's install command
LOADED = re.compile(r'^(\d+\.\d+):[0-9a-f]+:trace:loaddll:\w+ Loaded L"([^"]*)"', re.M)

NSIS_TARGETS = {"x86": "x86-unicode", "x64": "amd64-unicode"}
NSIS_SCRIPT = """Target {target}
Name "Bench"
OutFile "{out}"
SetCompress off
SilentInstall silent
RequestExecutionLevel user
Section
  SetOutPath "$TEMP"
  File "/oname=product.msi" "{msi}"
  ExecWait '"msiexec" /i "$TEMP\\product.msi"'
SectionEnd
"""


def ensure_makensis():
    if shutil.which("makensis"):
        return
    print("installing Debian's nsis package ...", flush=True)
    sudo = [] if os.geteuid() == 0 else ["sudo"]
    env = dict(os.environ, DEBIAN_FRONTEND="noninteractive")
    subprocess.run(sudo + ["apt-get", "install", "-y", "-qq", "nsis"], check=True, env=env,
                   stdout=subprocess.DEVNULL)


def timed(args):
    start = time.monotonic()
    result = subprocess.run([str(a) for a in args], capture_output=True, text=True)
    if result.returncode != 0:
        raise BuildError(f"{Path(str(args[0])).name} failed: {result.stderr.strip() or result.stdout.strip()}")
    return time.monotonic() - start


def build_nsis(msi, out, arch):
    script = out.with_suffix(".nsi")
    script.write_text(NSIS_SCRIPT.format(target=NSIS_TARGETS[arch], out=out, msi=msi))
    return timed(["makensis", "-V1", script])


def start_to_engine(session, setup, arguments=()):
    """Seconds from the setup's start to msiexec's, read off Wine's trace clock."""
    env = session.env("-all,+timestamp,trace+loaddll")
    with tempfile.TemporaryFile() as log:
        process = subprocess.Popen(session.loader + [str(setup), *arguments], env=env, stdout=subprocess.DEVNULL,
                                   stderr=log, start_new_session=True)
        deadline = time.monotonic() + START_TIMEOUT
        started = engine = None
        while time.monotonic() < deadline and engine is None:
            time.sleep(0.05)
            log.seek(0)
            for stamp, module in LOADED.findall(log.read().decode(errors="replace")):
                name = module.replace("\\\\", "\\").lower()
                if started is None and name.endswith(setup.name.lower()):
                    started = float(stamp)
                if started is not None and name.endswith("\\msiexec.exe"):
                    engine = float(stamp)
                    break
        if process.poll() is None:
            os.killpg(process.pid, signal.SIGKILL)
            process.wait()
        session.restart_wineserver()
    if started is None or engine is None:
        raise RuntimeError(f"{setup.name} did not start msiexec within {START_TIMEOUT} s")
    return engine - started


def machine():
    cpu = "unknown processor"
    for line in Path("/proc/cpuinfo").read_text().splitlines():
        if line.startswith("model name"):
            cpu = line.split(":", 1)[1].strip()
            break
    memory = int(Path("/proc/meminfo").read_text().split()[1]) // (1024 * 1024)
    wine = subprocess.run(["/usr/lib/wine/wine64", "--version"], capture_output=True, text=True).stdout.strip()
    return f"{platform.system()} {platform.release()} {platform.machine()}, {cpu}, {os.cpu_count()} cores, " \
           f"{memory} GiB, {wine}"


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build-dir", type=Path, default=ROOT / "build" / "host",
                        help="the host build holding vesk and both stubs (scripts/build)")
    parser.add_argument("--runs", type=int, default=3, help="Wine runs per setup; the median is shown")
    parser.add_argument("--sizes", default="1,256", help="MSI sizes in MiB, comma-separated")
    args = parser.parse_args()
    build_dir = args.build_dir.resolve()
    vesk = build_dir / "vesk"
    if not vesk.exists():
        print(f"nsis_compare: no {vesk} (run scripts/build)", file=sys.stderr)
        return 1
    try:
        sizes = [int(size) for size in args.sizes.split(",")]
        plan = plan_wine(os.environ.get("VESK_E2E_ARCH", ""))
        ensure_makensis()
    except (ValueError, WineUnavailable, subprocess.CalledProcessError) as error:
        print(f"nsis_compare: {error}", file=sys.stderr)
        return 1
    arch = plan.runs[0][0]
    work = build_dir / "nsis-compare"
    shutil.rmtree(work, ignore_errors=True)
    work.mkdir(parents=True)

    print(f"machine: {machine()}")
    print(f"stub:    {'32-bit stub' if arch == 'x86' else 'x64 twin'} ({plan.summary})")
    version = subprocess.run(["makensis", "-VERSION"], capture_output=True, text=True).stdout.strip()
    print(f"NSIS:    makensis {version}, target {NSIS_TARGETS[arch]}")
    print(flush=True)

    rows = []
    try:
        sample = build_msi("product.wxs", work / "sample.msi", Version="1.0.0", Name="Vesk Bench")
        probe = build_probe(work, arch)
        for size in sizes:
            msi = build_large_file(sample, work / f"product-{size}m.msi", size << 20)
            vesk_setup, nsis_setup = work / f"vesk-{size}m.exe", work / f"nsis-{size}m.exe"
            start = time.monotonic()
            pack(vesk, msi, vesk_setup, arch)
            rows.append({"size": size, "msi": msi, "vesk": vesk_setup, "nsis": nsis_setup,
                         "vesk_build": time.monotonic() - start, "nsis_build": build_nsis(msi, nsis_setup, arch)})
    except BuildError as error:
        print(f"nsis_compare: {error}", file=sys.stderr)
        return 1

    print(f"{'MSI':>8}  {'tool':<9} {'added bytes':>12} {'build s':>8} {'start to msiexec s':>19} "
          f"{'without hold s':>15}")
    session = Session(work, probe, work, arch)
    try:
        for row in rows:
            for tool, arguments in (("vesk", ()), ("vesk", UNATTENDED), ("nsis", ())):
                setup = row[tool]
                added = setup.stat().st_size - row["msi"].stat().st_size
                placed = session.install_file(setup, rf"C:\bench\{setup.name}")
                median = statistics.median(start_to_engine(session, placed, arguments) for _ in range(args.runs))
                shown = f"{median:.2f}"
                label = f"{tool} {arguments[0]}" if arguments else tool
                held = tool == "vesk" and not arguments
                without = f"{max(0.0, median - SPLASH_HOLD_SECONDS):.2f}" if held else ""
                print(f"{row['size']:>4} MiB  {label:<9} {added:>12,} {row[tool + '_build']:>8.2f} {shown:>19} "
                      f"{without:>15}", flush=True)
    finally:
        session.close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
