"""Test inputs built at test time: the probe helper, MSI packages from the
.wxs sources beside this file (wixl), and setups packed by `vesk pack`."""

import os
import random
import struct
import subprocess
from dataclasses import dataclass
from pathlib import Path

HERE = Path(__file__).resolve().parent
FIXTURES = HERE / "fixtures"

# Both versions of the test product share this code (fixtures/product.wxs).
PRODUCT_CODE = "{6E1D2F4A-3B5C-4D7E-8F90-A1B2C3D4E5F6}"
PRODUCT_NAME = "Vesk Test Product"
NAMED_PRODUCT = "Grüße Café"  # the test product under a name beyond ASCII, in code page 1252
FAILING_CODE = "{7C8D9E0F-1A2B-4C3D-9E4F-5A6B7C8D9E0F}"
RECORD_KEY = r"Software\VeskTest"  # where the test product records what it was given


class BuildError(Exception):
    pass


def _run(args, cwd=None):
    result = subprocess.run([str(a) for a in args], cwd=cwd, capture_output=True, text=True, timeout=600)
    if result.returncode != 0:
        raise BuildError(f"{' '.join(str(a) for a in args)} failed ({result.returncode}): "
                         f"{result.stderr.strip() or result.stdout.strip()}")
    return result


# The C compiler and the stub of each architecture.
COMPILERS = {"x86": "i686-w64-mingw32-gcc", "x64": "x86_64-w64-mingw32-gcc"}
STUBS = {"x86": "vesk-stub.exe", "x64": "vesk-stub-x64.exe"}


def _build_helper(out_dir, arch, source, name, *flags):
    target = Path(out_dir) / (f"{name}-x64.exe" if arch == "x64" else f"{name}.exe")
    _run([COMPILERS[arch], "-O2", "-Wall", "-Wextra", HERE / source, "-o", target, *flags])
    return target


def build_probe(out_dir, arch="x86"):
    """The probe for the stub's architecture, so it sees the registry as the stub does."""
    return _build_helper(out_dir, arch, "probe.c", "probe", "-lmsi", "-lversion")


def build_fake_runtime(out_dir, arch="x86"):
    """A runtime installer that records its runs and ends with the codes a test sets."""
    return _build_helper(out_dir, arch, "fake_runtime.c", "fake-runtime", "-mwindows")


def build_attacker(out_dir, arch="x86"):
    """Another program of the user that swaps the setup's file and writes into what it extracts (attacker.c)."""
    return _build_helper(out_dir, arch, "attacker.c", "attacker")


def build_marker_dll(out_dir, arch, name):
    """A DLL named like the system library `name` that records each load (marker.c)."""
    target = Path(out_dir) / f"marker-{arch}" / f"{name}.dll"
    target.parent.mkdir(parents=True, exist_ok=True)
    entry = "_MarkerMain@12" if arch == "x86" else "MarkerMain"
    _run([COMPILERS[arch], "-O2", "-Wall", "-shared", "-nostdlib", f"-Wl,-e,{entry}", f'-DMARKER_NAME="{name}"',
          HERE / "marker.c", "-o", target, "-lkernel32"])
    return target


def build_baseline(out_dir, arch):
    """A program with the stub's imports that does nothing (baseline.c)."""
    entry = "_BaselineEntry@0" if arch == "x86" else "BaselineEntry"
    return _build_helper(out_dir, arch, "baseline.c", "baseline", "-mwindows", "-nostdlib", f"-Wl,-e,{entry}",
                         "-lkernel32", "-luser32", "-lgdi32", "-ladvapi32", "-lshell32")


def build_platform_probe(out_dir, arch):
    """The platform rows (tests/platform) as a program for Wine."""
    root = HERE.parent.parent
    target = Path(out_dir) / (f"platform-rows-{arch}.exe")
    _run([COMPILERS[arch].replace("gcc", "g++"), "-std=c++20", "-O1", "-Wall", "-Wextra", "-static", f"-I{root}",
          root / "tests" / "platform" / "platform_probe.cpp", "-o", target])
    return target


def build_msi(source, target, readme=None, **defines):
    """The defines are put into a copy of the source beside the target (wixl
    fails on a -D value beyond ASCII); wixl resolves the package's files
    relative to the fixtures, so it runs there. `readme` names a file that
    the package installs in place of readme.txt."""
    text = (FIXTURES / source).read_text(encoding="utf-8")
    for name, value in defines.items():
        text = text.replace(f"$(var.{name})", value)
    if readme:
        text = text.replace('Source="readme.txt"', f'Source="{os.path.relpath(readme, FIXTURES)}"')
    copy = Path(target).resolve().with_suffix(".wxs")
    copy.write_text(text, encoding="utf-8")
    _run(["wixl", "-o", Path(target).resolve(), copy], cwd=FIXTURES)
    return Path(target)


def build_splash_bmp(target, width, height, palette):
    """A 16-colour BMP of vertical stripes, one per colour of `palette`
    (RGB triples), as a builder would give for --splash."""
    row = (width * 4 + 31) // 32 * 4
    table = b"".join(bytes((b, g, r, 0)) for r, g, b in palette) + bytes(4 * (16 - len(palette)))
    pixels = bytearray()
    for _ in range(height):
        line = bytearray(row)
        for x in range(width):
            index = x * len(palette) // width
            line[x // 2] |= index << (0 if x % 2 else 4)
        pixels += line
    info = (40).to_bytes(4, "little") + width.to_bytes(4, "little") + height.to_bytes(4, "little") + \
        (1).to_bytes(2, "little") + (4).to_bytes(2, "little") + bytes(4) + len(pixels).to_bytes(4, "little") + \
        bytes(8) + (16).to_bytes(4, "little") + bytes(4)
    offset = 14 + len(info) + len(table)
    header = b"BM" + (offset + len(pixels)).to_bytes(4, "little") + bytes(4) + offset.to_bytes(4, "little")
    Path(target).write_bytes(header + info + table + pixels)
    return Path(target)


def build_signing_pair(out_dir):
    """A self-signed code-signing certificate and its key, made now by openssl."""
    cert, key = Path(out_dir) / "sign-cert.pem", Path(out_dir) / "sign-key.pem"
    _run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", cert, "-days", "2",
          "-subj", "/CN=Vesk E2E"])
    return cert, key


def build_large_file(source, target, size):
    """`source` padded with zeros to `size` bytes: a product that takes long to extract."""
    with open(source, "rb") as head, open(target, "wb") as out:
        out.write(head.read())
        out.truncate(size)
    return Path(target)


def build_large_msi(out_dir, size):
    """The test product, version 1.0.0, installing `size` random bytes: a
    package of that many bytes whatever the cabinet's compression."""
    readme = Path(out_dir).resolve() / "large-readme.bin"
    readme.write_bytes(random.Random(size).randbytes(size))
    return build_msi("product.wxs", Path(out_dir) / "large-1.0.0.msi", readme=readme, Version="1.0.0", Name=PRODUCT_NAME)


# KUSER_SHARED_DATA: every Windows and Wine process holds this page.
SHARED_USER_DATA = 0x7FFE0000
_FIXUP_WIDTHS = {3: "<I", 10: "<Q"}  # IMAGE_REL_BASED_HIGHLOW, IMAGE_REL_BASED_DIR64


def rebased_copy(source, target):
    """A copy of a PE image whose preferred base lies over the shared user
    data page, with its base relocations applied to match, so that a loader
    must relocate it. Returns (copy, the new preferred base)."""
    data = bytearray(Path(source).read_bytes())
    u16 = lambda at: struct.unpack_from("<H", data, at)[0]
    u32 = lambda at: struct.unpack_from("<I", data, at)[0]
    optional = u32(60) + 24
    plus = u16(optional) == 0x20B
    base_format, base_at = ("<Q", optional + 24) if plus else ("<I", optional + 28)
    mask = (1 << (64 if plus else 32)) - 1
    size_of_image = u32(optional + 56)
    # 64 KiB aligned, ending at most one 64 KiB step past the page it covers.
    new_base = SHARED_USER_DATA - (size_of_image + 0xFFFF) // 0x10000 * 0x10000 + 0x10000
    delta = new_base - struct.unpack_from(base_format, data, base_at)[0]
    relocations_rva, relocations_size = struct.unpack_from("<II", data, optional + (112 if plus else 96) + 5 * 8)
    table = optional + u16(optional - 4)
    sections = [struct.unpack_from("<IIII", data, table + 40 * i + 8) for i in range(u16(optional - 18))]

    def file_offset(rva):
        for virtual_size, address, raw_size, raw_pointer in sections:
            if address <= rva < address + min(virtual_size or raw_size, raw_size):
                return raw_pointer + rva - address
        raise ValueError(f"{source}: RVA {rva:#x} lies in no section")

    # An image without fixups (the x64 twin's code is all RIP-relative) moves as it is.
    block = file_offset(relocations_rva) if relocations_size else 0
    end = block + relocations_size
    while block < end:
        page, block_size = struct.unpack_from("<II", data, block)
        for entry in struct.unpack_from(f"<{(block_size - 8) // 2}H", data, block + 8):
            kind, at = entry >> 12, file_offset(page + (entry & 0xFFF))
            if kind in _FIXUP_WIDTHS:
                value = struct.unpack_from(_FIXUP_WIDTHS[kind], data, at)[0]
                struct.pack_into(_FIXUP_WIDTHS[kind], data, at, (value + delta) & mask)
            elif kind != 0:  # 0 pads a block
                raise ValueError(f"{source}: relocation type {kind} is not handled")
        block += block_size
    struct.pack_into(base_format, data, base_at, new_base)
    Path(target).write_bytes(data)
    return Path(target), new_base


@dataclass
class Packages:
    product_v1: Path
    product_v2: Path
    named_v2: Path
    failing: Path


def build_packages(out_dir):
    out_dir = Path(out_dir)
    return Packages(
        product_v1=build_msi("product.wxs", out_dir / "product-1.0.0.msi", Version="1.0.0", Name=PRODUCT_NAME),
        product_v2=build_msi("product.wxs", out_dir / "product-2.0.0.msi", Version="2.0.0", Name=PRODUCT_NAME),
        named_v2=build_msi("product.wxs", out_dir / "named-2.0.0.msi", Version="2.0.0", Name=NAMED_PRODUCT),
        failing=build_msi("failing.wxs", out_dir / "failing.msi"))


def pack(vesk, product, target, arch="x86", options=(), **settings):
    """A setup for `product` on the `arch` stub; `options` are passed as they
    are, `settings` become --set KEY=VALUE options."""
    args = [vesk, "pack", "--arch", arch, "--product", product, "-o", target, *options]
    for key, value in settings.items():
        args += ["--set", f"{key}={value}"]
    _run(args)
    return Path(target)
