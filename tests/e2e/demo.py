#!/usr/bin/env python3
"""The main job, shown end to end: a sample MSI built by wixl, packed into a
setup by `vesk pack`, run under Wine in a virtual X display without
arguments, as a user would start it. The setup is built on the 32-bit stub
where this kernel runs 32-bit programs, else on the x64 twin;
VESK_E2E_ARCH=x86|x64 chooses. Prints what happened; exits non-zero when the
product did not get installed."""

import argparse
import os
import subprocess
import sys
from pathlib import Path, PureWindowsPath

sys.path.insert(0, str(Path(__file__).resolve().parent))

from fixtures import PRODUCT_CODE, PRODUCT_NAME, BuildError, build_packages, build_probe  # noqa: E402
from harness import Failure, Session, WineUnavailable, plan_wine  # noqa: E402
from scenarios import Context, is_splash  # noqa: E402


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--build-dir", type=Path, required=True, help="the host build (holds vesk, vesk-stub.exe)")
    build_dir = parser.parse_args().build_dir.resolve()
    work_dir = build_dir / "demo"
    (work_dir / "setups").mkdir(parents=True, exist_ok=True)

    try:
        plan = plan_wine(os.environ.get("VESK_E2E_ARCH", ""))
    except WineUnavailable as error:
        print(f"demo: {error}")
        return 1
    arch = plan.runs[0][0]
    print(f"demo: {'x64 twin' if arch == 'x64' else '32-bit stub'} ({plan.summary})", flush=True)
    print("building the sample MSI with wixl and packing it with vesk ...", flush=True)
    try:
        packages = build_packages(work_dir)
        probe = build_probe(work_dir, arch)
    except BuildError as error:
        print(f"demo: {error}")
        return 1
    print("making a fresh Wine prefix (about 20 s) ...", flush=True)
    try:
        session = Session(work_dir, probe, work_dir, arch)
    except (OSError, RuntimeError, subprocess.SubprocessError) as error:
        print(f"demo: the Wine session did not start: {error}")
        return 1
    try:
        ctx = Context(session, build_dir / "vesk", packages, work_dir / "setups")
        packed = ctx.setup_for(packages.product_v1, "setup")
        setup = ctx.place("demo", packed)
        print(f"running {setup} under Wine on display {session.display.name} ...", flush=True)
        run = session.start(f'"{setup}"')
        splash = None
        try:
            run.wait_window(PRODUCT_NAME, accept=is_splash)
            splash = session.screenshot("splash.png")
        except Failure as missing:
            print(f"no splash window seen: {missing}")
        outcome = run.finish()
        placed = [str(PureWindowsPath(ctx.wizard_folder) / f.name) for f in ctx.placed_files()]
        version = session.installed_version(PRODUCT_CODE)
        received = session.product_record("SetupExePath")
    except (Failure, BuildError) as failure:
        print(f"the setup did not run through: {failure}")
        return 1
    finally:
        session.close()

    print()
    print(f"packed setup:      {packed} (from {packages.product_v1.name}, {arch} stub)")
    print(f"started as:        {setup}")
    print(f"exit code:         {outcome.exit_code}")
    print(f"MSI placed at:     {', '.join(placed) or 'nowhere'}")
    print(f"msiexec arguments: {' '.join(outcome.engine_runs[0]) if outcome.engine_runs else 'never'}")
    print(f"installed product: {PRODUCT_NAME} {PRODUCT_CODE}, version "
          f"{version or 'none: not installed'} (as the Windows Installer reports it)")
    print(f"setup path the package received: {received or 'none'}")
    print(f"splash screenshot: {splash or 'none'}")
    if outcome.boxes:
        print(f"message boxes:     {outcome.boxes}")
    return 0 if outcome.exit_code == 0 and version == "1.0.0" else 1


if __name__ == "__main__":
    sys.exit(main())
