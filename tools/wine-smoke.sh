#!/usr/bin/env bash
# Smoke test under Wine (not part of CI; tools/wine-check.sh is): loads each x86_64 DLL of the mingw64 build with
# LoadLibrary and resolves its exports and version resource.  Usage: tools/wine-smoke.sh [BUILD-DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/mingw64}
wine=$(command -v wine64 || ls /usr/lib/wine/wine64 2>/dev/null || command -v wine || true)
[ -n "$wine" ] || { echo "Wine is not installed (apt-get install wine64)"; exit 2; }
dir=$(mktemp -d)
wineserver=$(dirname "$(readlink -f "$wine")")/wineserver
trap 'WINEPREFIX="$dir/prefix" "$wineserver" -k 2>/dev/null; sleep 1; rm -rf "$dir"' EXIT
x86_64-w64-mingw32-gcc -O2 -o "$dir/smoke.exe" tools/winsmoke/smoke.c
cp "$build/render/lbldrv6.dll" "$build/ui/lbldrv6ui.dll" "$build/monitor/lblmon.dll" "$dir/"
cd "$dir"
# Wine uses the real network: it runs in a namespace of its own with loopback only.
WINEDEBUG=-all WINEPREFIX="$dir/prefix" unshare --net -- sh -c 'ip link set lo up 2>/dev/null; exec "$0" smoke.exe .' "$wine"
