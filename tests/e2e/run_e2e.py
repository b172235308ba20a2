#!/usr/bin/env python3
"""Runs every end-to-end scenario under Wine and ends with the summary line
"N passed, N failed". Exit status: 0 all passed, 1 some failed, 77 skipped
(Wine is not installed)."""

import argparse
import shutil
import subprocess
import sys
import time
import traceback
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

from fixtures import BuildError, build_packages, build_probe  # noqa: E402
from harness import Session  # noqa: E402
from scenarios import Context, run_all  # noqa: E402

SKIPPED = 77
TOOLS = ["Xvfb", "xdotool", "wixl", "i686-w64-mingw32-gcc", "import", "wineserver"]


def parse_args():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--build-dir", type=Path, required=True, help="the host build (holds vesk, vesk-stub.exe)")
    parser.add_argument("--only", default="", help="comma-separated scenario names to run (default: all)")
    return parser.parse_args()


def find_inputs(build_dir):
    """vesk and the stub it packs, or a line saying what is missing."""
    vesk = build_dir / "vesk"
    stub = build_dir / "vesk-stub.exe"
    missing = [str(p) for p in (vesk, stub) if not p.exists()]
    return vesk, stub, missing


def main():
    args = parse_args()
    if shutil.which("wine") is None:
        print("e2e: skipped: wine is not installed (scripts/install-deps installs it)")
        return SKIPPED
    missing = [tool for tool in TOOLS if shutil.which(tool) is None]
    vesk, stub, missing_inputs = find_inputs(args.build_dir.resolve())
    if missing or missing_inputs:
        print(f"e2e: cannot run: missing {', '.join(missing + missing_inputs)}")
        print("0 passed, 1 failed")
        return 1

    work_dir = args.build_dir.resolve() / "e2e"
    shutil.rmtree(work_dir / "setups", ignore_errors=True)
    (work_dir / "setups").mkdir(parents=True)
    started = time.monotonic()
    try:
        probe = build_probe(work_dir)
        packages = build_packages(work_dir)
    except BuildError as error:
        print(f"e2e: fixtures: {error}")
        print("0 passed, 1 failed")
        return 1
    try:
        session = Session(work_dir, probe, work_dir / "artifacts")
    except (OSError, RuntimeError, subprocess.SubprocessError) as error:
        print(f"e2e: the Wine session did not start: {error}")
        print("0 passed, 1 failed")
        return 1
    print(f"e2e: prefix {session.prefix} ready on display {session.display.name} "
          f"after {time.monotonic() - started:.0f} s", flush=True)
    results = []

    def report(name, error, seconds):
        results.append(error is None)
        print(f"{'PASS' if error is None else 'FAIL'} {name} ({seconds:.0f} s)" + (f": {error}" if error else ""),
              flush=True)

    try:
        run_all(Context(session, vesk, stub, packages, work_dir / "setups"), report,
                [name for name in args.only.split(",") if name])
    except Exception:
        traceback.print_exc()
        results.append(False)
    finally:
        session.close()
    passed = results.count(True)
    failed = results.count(False)
    print(f"e2e: artifacts in {work_dir / 'artifacts'}; {time.monotonic() - started:.0f} s in all")
    print(f"{passed} passed, {failed} failed")
    return 0 if failed == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
