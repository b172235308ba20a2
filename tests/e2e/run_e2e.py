#!/usr/bin/env python3
"""Runs every end-to-end scenario under Wine and ends with the summary line
"N passed, N failed". Where the kernel runs 32-bit programs, every scenario
runs on the 32-bit stub and a smoke subset on the x64 twin; where it does not,
every scenario runs on the twin. VESK_E2E_ARCH=x86|x64 forces one stub for all.
Exit status: 0 all passed, 1 some failed, 77 skipped (Wine is not installed)."""

import argparse
import os
import shutil
import subprocess
import sys
import time
import traceback
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

from fixtures import COMPILERS, STUBS, BuildError, build_packages, build_probe  # noqa: E402
from harness import WINE32_LOADER, WINE64_LOADER, Session, WineUnavailable, plan_wine  # noqa: E402
from scenarios import Context, run_all, select  # noqa: E402

SKIPPED = 77
TOOLS = ["Xvfb", "xdotool", "wixl", "import", "wineserver"]


def parse_args():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--build-dir", type=Path, required=True,
                        help="the host build (holds vesk, vesk-stub.exe, vesk-stub-x64.exe)")
    parser.add_argument("--only", default="", help="comma-separated scenario names to run (default: all)")
    return parser.parse_args()


def missing_inputs(build_dir, arches):
    """Programs and built files the runs need that are not there."""
    missing = [tool for tool in TOOLS + [COMPILERS[arch] for arch in arches] if shutil.which(tool) is None]
    files = [build_dir / "vesk"] + [build_dir / STUBS[arch] for arch in arches]
    return missing + [str(path) for path in files if not path.exists()]


def fail_alone(message):
    print(f"e2e: {message}")
    print("0 passed, 1 failed")
    return 1


def main():
    args = parse_args()
    if not any(os.path.exists(loader) for loader in (WINE32_LOADER, WINE64_LOADER)):
        print("e2e: skipped: wine is not installed (scripts/install-deps installs it)")
        return SKIPPED
    try:
        plan = plan_wine(os.environ.get("VESK_E2E_ARCH", ""))
        only = [name for name in args.only.split(",") if name]
        runs = [(arch, select(only, smoke)) for arch, smoke in plan.runs]
    except (WineUnavailable, ValueError) as error:
        return fail_alone(str(error))
    runs = [(arch, scenarios) for arch, scenarios in runs if scenarios]
    print(f"e2e: {plan.summary}", flush=True)
    build_dir = args.build_dir.resolve()
    missing = missing_inputs(build_dir, [arch for arch, _ in runs])
    if missing:
        return fail_alone(f"cannot run: missing {', '.join(missing)}")

    work_dir = build_dir / "e2e"
    artifacts = work_dir / "artifacts"
    shutil.rmtree(work_dir / "setups", ignore_errors=True)
    (work_dir / "setups").mkdir(parents=True)
    for stale in artifacts.glob("*.png"):
        stale.unlink()
    started = time.monotonic()
    try:
        packages = build_packages(work_dir)
        probes = {arch: build_probe(work_dir, arch) for arch, _ in runs}
    except BuildError as error:
        return fail_alone(f"fixtures: {error}")
    results = []
    for arch, scenarios in runs:
        stub = "x64 twin" if arch == "x64" else "32-bit stub"
        try:
            session = Session(work_dir, probes[arch], artifacts, arch)
        except (OSError, RuntimeError, subprocess.SubprocessError) as error:
            print(f"FAIL {arch}: the Wine session for the {stub} did not start: {error}", flush=True)
            results.append(False)
            continue
        print(f"e2e: {stub}: prefix {session.prefix} ready on display {session.display.name} "
              f"after {time.monotonic() - started:.0f} s", flush=True)

        def report(name, error, seconds):
            results.append(error is None)
            print(f"{'PASS' if error is None else 'FAIL'} {arch} {name} ({seconds:.0f} s)" +
                  (f": {error}" if error else ""), flush=True)

        try:
            run_all(Context(session, build_dir / "vesk", packages, work_dir / "setups"), report, scenarios)
        except Exception:
            traceback.print_exc()
            results.append(False)
        finally:
            session.close()
    passed = results.count(True)
    failed = results.count(False)
    print(f"e2e: {plan.summary}; artifacts in {artifacts}; {time.monotonic() - started:.0f} s in all")
    print(f"{passed} passed, {failed} failed")
    return 0 if failed == 0 and passed > 0 else 1


if __name__ == "__main__":
    sys.exit(main())
