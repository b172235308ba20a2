#!/bin/sh
# Runs setups under the Wine of a root (scripts/in-root NAME wine), for a
# Wine that starts no program away from its preferred base: each in turn in
# one fresh prefix of ARCH, on a virtual display, the product removed after
# each. Says per setup, on one line:
#   NAME base=ADDRESS exit=CODE version=VERSION
# (ADDRESS where the loader placed it, "none" if it did not; VERSION as the
# installer reports PRODUCT_CODE once the setup has ended, "none" if absent).
# The loader's trace of each run is left in DIR/NAME.log.
# Usage: relocated_in_root.sh DIR x86|x64 PRODUCT_CODE PROBE NAME:TAIL...
#        (NAME.exe in DIR; TAIL its command tail, may be empty)
set -eu
dir=$1 arch=$2 code=$3 probe=$4
shift 4
export WINEPREFIX="$dir/prefix" WINEDEBUG=-all
[ "$arch" = x86 ] && export WINEARCH=win32
# The display number Xvfb finds free (the root shares the machine's sockets).
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$dir/display" >/dev/null 2>&1 &
for _ in $(seq 100); do [ -s "$dir/display" ] && break; sleep 0.2; done
[ -s "$dir/display" ] || { echo "Xvfb did not start in the root" >&2; exit 1; }
export DISPLAY=":$(cat "$dir/display")"
timeout 600 wine wineboot -i >/dev/null 2>&1 || { echo "wineboot failed in the root" >&2; exit 1; }
wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
installed() {
    wine "$probe" version "$code" 2>/dev/null | tr -d '\r' | sed -n 's/^VERSION=//p' | tail -n 1
}
for run in "$@"; do
    name=${run%%:*} tail=${run#*:}
    status=0
    # Word splitting of the tail is intended: it holds switches only.
    # shellcheck disable=SC2086
    WINEDEBUG=-all,trace+loaddll timeout 300 wine "$dir/$name.exe" $tail >"$dir/$name.log" 2>&1 || status=$?
    base=$(sed -n "s/.*Loaded L\".*\\\\$name\\.exe\" at \\(0x\\)\\{0,1\\}\\([0-9A-Fa-f]*\\).*/0x\\2/p" "$dir/$name.log" | head -n 1)
    version=$(installed)
    echo "$name base=${base:-none} exit=$status version=${version:-none}"
    [ -z "$version" ] || timeout 300 wine msiexec /qn /x "$code" >/dev/null 2>&1 || true
done
wineserver -k 2>/dev/null || true
