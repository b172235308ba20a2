#!/bin/sh
# The Debian package as a release pipeline uses it: scripts/package builds
# it, dpkg unpacks it into a scratch root (no root rights, nothing touched
# outside), and the vesk installed there packs a wixl MSI on both stubs it
# finds in its ../lib/vesk, then verifies and inspects the setups.
# Usage: package_test.sh SOURCE_DIR
set -eu
root=$1
work=$(mktemp -d "${TMPDIR:-/tmp}/vesk-package-test.XXXXXX")
trap 'rm -rf "$work"' EXIT INT TERM
fail() { echo "package test: $*" >&2; exit 1; }

deb=$("$root/scripts/package" "$work/out")
case $deb in */vesk_*_"$(dpkg --print-architecture)".deb) ;; *) fail "unexpected package name $deb" ;; esac
depends=$(dpkg-deb -f "$deb" Depends)
for package in libmsi0 libglib2.0-0 zlib1g libstdc++6; do
    echo "$depends" | grep -q "\\b$package\\b" || fail "Depends lacks $package: $depends"
done
# Every dependency is a real package: the ones this machine runs vesk with.
for package in $(echo "$depends" | sed 's/([^)]*)//g; s/,/ /g'); do
    dpkg-query -W "$package" >/dev/null 2>&1 || fail "Depends names $package, which is not installed here"
done
[ "$(dpkg-deb -f "$deb" Recommends)" = "osslsigncode, wixl" ] || fail "Recommends: $(dpkg-deb -f "$deb" Recommends)"

dpkg -x "$deb" "$work/root"
vesk=$work/root/usr/bin/vesk
for file in usr/lib/vesk/vesk-stub.exe usr/lib/vesk/vesk-stub-x64.exe usr/share/man/man1/vesk.1.gz \
    usr/share/bash-completion/completions/vesk; do
    [ -f "$work/root/$file" ] || fail "no /$file in the package"
done
version=$("$vesk" --version | sed -n '1s/^vesk //p')
[ "$version" = "$(dpkg-deb -f "$deb" Version)" ] || fail "vesk $version in a package of $(dpkg-deb -f "$deb" Version)"
zcat "$work/root/usr/share/man/man1/vesk.1.gz" | head -n 1 | grep -q "\"vesk $version\"" || fail "the man page's version"
expected=$(printf 'stub x86: %s\nstub x64: %s' "$work/root/usr/lib/vesk/vesk-stub.exe" \
    "$work/root/usr/lib/vesk/vesk-stub-x64.exe")
[ "$("$vesk" --version --verbose | tail -n 2)" = "$expected" ] || fail "vesk --version --verbose: $("$vesk" --version --verbose)"

cp "$root/tools/vesk/tests/fixtures/product.wxs" "$root/tools/vesk/tests/fixtures/readme.txt" "$work/"
(cd "$work" && wixl -o sample.msi product.wxs) || fail "wixl could not build the sample MSI"
for arch in x86 x64; do
    "$vesk" pack --product "$work/sample.msi" --arch "$arch" -o "$work/setup-$arch.exe" 2>"$work/pack.err" ||
        fail "pack --arch $arch: $(cat "$work/pack.err")"
    grep -q "stub $work/root/usr/lib/vesk/.*($arch)" "$work/pack.err" || fail "pack summary: $(cat "$work/pack.err")"
    "$vesk" verify "$work/setup-$arch.exe" >/dev/null || fail "verify of the $arch setup"
    "$vesk" inspect --json "$work/setup-$arch.exe" | grep -q "\"architecture\": \"$arch\"" || fail "inspect of the $arch setup"
done
echo "package test: $(basename "$deb") installs, packs, verifies and inspects"
