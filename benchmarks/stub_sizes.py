#!/usr/bin/env python3
"""The size of both stubs, section by section, as the file holds them
(raw sizes, padded to the file alignment), against the 40 KiB goal for the
32-bit stub, as `vesk inspect --json` reads them. Usage:
benchmarks/stub_sizes.py [--build-dir build/host]"""

import argparse
import json
import subprocess
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
GOAL = 40 * 1024
STUBS = ("vesk-stub.exe", "vesk-stub-x64.exe")


def sections(vesk, path):
    """(name, raw size) of the headers and of each section with file data."""
    run = subprocess.run([vesk, "inspect", "--json", path], capture_output=True, text=True)
    if run.returncode != 0:
        raise ValueError(run.stderr.strip() or f"vesk inspect ended with {run.returncode}")
    pe = json.loads(run.stdout)["pe"]
    return [("headers", pe["sizeOfHeaders"])] + [(s["name"], s["sizeOfRawData"]) for s in pe["sections"]
                                               if s["sizeOfRawData"]]


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--build-dir", type=Path, default=ROOT / "build" / "host",
                        help="where scripts/build leaves vesk and both stubs")
    build_dir = parser.parse_args().build_dir
    for name in STUBS:
        path = build_dir / name
        try:
            size = path.stat().st_size
            rows = sections(build_dir / "vesk", path)
        except (OSError, ValueError) as error:
            print(f"stub_sizes: {path}: {error}", file=sys.stderr)
            return 1
        print(f"{name}: {size:,} bytes" + (f" (goal {GOAL:,})" if name == STUBS[0] else ""))
        for section, size in rows:
            print(f"  {section:<8} {size:>7,}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
