#!/bin/sh
# The Debian package as a user of each release gets it: scripts/package
# --distribution builds it in a clean root of that release, apt installs it
# in a fresh root of the same release (its Depends and Recommends from the
# archive), and the vesk installed there packs a wixl MSI on both stubs it
# finds in /usr/lib/vesk, then verifies and inspects the setups. Every
# release's package carries the same stubs. An archive that cannot be reached
# fails the test with one line saying so (needs root, like the roots).
# Usage: package_test.sh SOURCE_DIR RELEASE...
#        package_test.sh --installed DEB   (run inside the fresh root)
set -eu
fail() { echo "package test: $*" >&2; exit 1; }

if [ "$1" = --installed ]; then
    deb=$2 work=$(mktemp -d)
    apt-get update -qq --error-on=any >"$work/apt.log" 2>&1 ||
        fail "the Debian archive cannot be reached from the $VESK_ROOT root: $(grep -m 1 '^[EW]:' "$work/apt.log")"
    apt-get install -y -qq "$deb" >"$work/apt.log" 2>&1 || fail "apt could not install $deb: $(grep -m 1 '^E:' "$work/apt.log")"
    command -v wixl >/dev/null || fail "apt did not bring wixl, which the package recommends"
    for file in /usr/bin/vesk /usr/lib/vesk/vesk-stub.exe /usr/lib/vesk/vesk-stub-x64.exe \
        /usr/share/man/man1/vesk.1.gz /usr/share/bash-completion/completions/vesk; do
        dpkg -L vesk | grep -qx "$file" || fail "the package does not list $file"
        [ -f "$file" ] || fail "no $file after installing"
    done
    version=$(vesk --version | sed -n '1s/^vesk //p')
    [ "$version~deb$(. /etc/os-release && echo "$VERSION_ID")" = "$(dpkg-query -W -f '${Version}' vesk)" ] ||
        fail "vesk $version in a package of $(dpkg-query -W -f '${Version}' vesk)"
    zcat /usr/share/man/man1/vesk.1.gz | head -n 1 | grep -q "\"vesk $version\"" || fail "the man page's version"
    expected=$(printf 'stub x86: /usr/lib/vesk/vesk-stub.exe\nstub x64: /usr/lib/vesk/vesk-stub-x64.exe')
    [ "$(vesk --version --verbose | tail -n 2)" = "$expected" ] || fail "vesk --version --verbose: $(vesk --version --verbose)"
    cp /src/tools/vesk/tests/fixtures/product.wxs /src/tools/vesk/tests/fixtures/readme.txt "$work/"
    (cd "$work" && wixl -o sample.msi product.wxs) || fail "wixl could not build the sample MSI"
    for arch in x86 x64; do
        vesk pack --product "$work/sample.msi" --arch "$arch" -o "$work/setup-$arch.exe" 2>"$work/pack.err" ||
            fail "pack --arch $arch: $(cat "$work/pack.err")"
        grep -q "stub /usr/lib/vesk/.*($arch)" "$work/pack.err" || fail "pack summary: $(cat "$work/pack.err")"
        vesk verify "$work/setup-$arch.exe" >/dev/null || fail "verify of the $arch setup"
        vesk inspect --json "$work/setup-$arch.exe" | grep -q "\"architecture\": \"$arch\"" || fail "inspect of the $arch setup"
    done
    exit 0
fi

root=$1
shift
work=$(mktemp -d "${TMPDIR:-/tmp}/vesk-package-test.XXXXXX")
trap 'rm -rf "$work"' EXIT INT TERM

# No archive, no package: one line, and a failure.
VESK_ROOTS=$work/roots VESK_MIRROR=http://127.0.0.1:9/debian "$root/scripts/package" --distribution "$1" "$work/none" \
    >/dev/null 2>"$work/offline.err" && fail "scripts/package succeeded without an archive"
[ "$(wc -l <"$work/offline.err")" -eq 1 ] && grep -q "cannot be reached" "$work/offline.err" ||
    fail "without an archive scripts/package said: $(cat "$work/offline.err")"

for release in "$@"; do
    deb=$("$root/scripts/package" --distribution "$release" "$work/$release") || fail "scripts/package --distribution $release failed"
    case $deb in "$work/$release"/vesk_*~deb*_amd64.deb) ;; *) fail "unexpected package name $deb" ;; esac
    depends=$(dpkg-deb -f "$deb" Depends)
    for package in libmsi libglib2.0-0 zlib1g libstdc++6; do
        echo "$depends" | grep -q "\\b$package" || fail "Depends lacks $package: $depends"
    done
    [ "$(dpkg-deb -f "$deb" Recommends)" = "osslsigncode, wixl" ] || fail "Recommends: $(dpkg-deb -f "$deb" Recommends)"
    "$root/scripts/in-root" --bind "$work/$release:/deb" "$release" base \
        sh /src/tools/vesk/tests/package_test.sh --installed "/deb/${deb##*/}" || exit 1
    for stub in vesk-stub.exe vesk-stub-x64.exe; do
        dpkg-deb --fsys-tarfile "$deb" | tar -xOf - "./usr/lib/vesk/$stub" >"$work/$release-$stub"
        cmp -s "$work/$release-$stub" "$work/$1-$stub" || fail "the $release package's $stub differs from the $1 package's"
    done
    echo "package test: $release: $(basename "$deb") installs from the archive, packs, verifies and inspects"
done
