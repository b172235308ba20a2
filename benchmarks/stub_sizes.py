#!/usr/bin/env python3
"""The size of both stubs, section by section, as the file holds them
(raw sizes, padded to the file alignment), against the 40 KiB goal for the
32-bit stub. Usage: benchmarks/stub_sizes.py [--build-dir build/host]"""

import argparse
import struct
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
GOAL = 40 * 1024
STUBS = ("vesk-stub.exe", "vesk-stub-x64.exe")


def sections(image):
    """(name, raw size) of the headers and of each section with file data."""
    pe = struct.unpack_from("<I", image, 0x3C)[0]
    if image[pe:pe + 4] != b"PE\0\0":
        raise ValueError("not a PE image")
    count, optional_size = struct.unpack_from("<H12xH", image, pe + 6)
    table = pe + 24 + optional_size
    headers = struct.unpack_from("<I", image, pe + 24 + 60)[0]  # SizeOfHeaders
    rows = [("headers", headers)]
    for index in range(count):
        entry = table + 40 * index
        name = image[entry:entry + 8].rstrip(b"\0").decode(errors="replace")
        raw = struct.unpack_from("<I", image, entry + 16)[0]
        if raw:
            rows.append((name, raw))
    return rows


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--build-dir", type=Path, default=ROOT / "build" / "host",
                        help="where scripts/build leaves both stubs")
    build_dir = parser.parse_args().build_dir
    for name in STUBS:
        path = build_dir / name
        try:
            image = path.read_bytes()
            rows = sections(image)
        except (OSError, ValueError, struct.error) as error:
            print(f"stub_sizes: {path}: {error}", file=sys.stderr)
            return 1
        print(f"{name}: {len(image):,} bytes" + (f" (goal {GOAL:,})" if name == STUBS[0] else ""))
        for section, size in rows:
            print(f"  {section:<8} {size:>7,}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
