#!/usr/bin/env bash
# Checks the Windows binaries of a cross build: each one exports exactly its entry points,
# imports only Windows system DLLs and carries its version (and, for the driver DLLs, catalogue)
# resources.  Usage: tools/check-windows.sh BUILD-DIR TRIPLET
set -euo pipefail
build=${1:?build dir}
triplet=${2:-x86_64-w64-mingw32}
objdump=${triplet}-objdump

# binary (relative to the build dir) : exports (space-separated, sorted) : needs catalogue
expected=(
  "render/lbldrv6.dll:DrvDisableDriver DrvEnableDriver DrvQueryDriverInfo:yes"
  "monitor/lblmon.dll:InitializePrintMonitor2:no"
  "ui/lbldrv6ui.dll:-:yes"
  "installer/lblinst32.exe:-:no"
)
system_dlls='^(kernel32|user32|gdi32|winspool\.drv|spoolss|advapi32|setupapi|compstui|gdiplus|msvcrt|shell32|shlwapi|ole32|oleaut32|comctl32|comdlg32|ws2_32|iphlpapi|newdev|version|cfgmgr32|ntdll|bcrypt|userenv|uxtheme)\.dll$|^winspool\.drv$'

fail=0
checked=0
for row in "${expected[@]}"; do
  IFS=: read -r rel exports catalogue <<<"$row"
  bin=$build/$rel
  if [ ! -f "$bin" ]; then
    # ui and installer arrive later; the renderer and the monitor must exist.
    case $rel in
      render/*|monitor/*) echo "MISSING $rel"; fail=1 ;;
    esac
    continue
  fi
  checked=$((checked + 1))
  dump=$("$objdump" -p "$bin")
  # Exported names: the lines after "[Ordinal/Name Pointer] Table".
  got=$(printf '%s\n' "$dump" | awk '/\[Ordinal\/Name Pointer\] Table/{t=1;next} t&&/^[[:space:]]*\[/{print $NF; next} t&&/^$/{t=0}' | sort | tr '\n' ' ' | sed 's/ $//')
  if [ "$exports" != "-" ] && [ "$got" != "$exports" ]; then
    echo "FAIL $rel exports '$got', expected '$exports'"; fail=1
  fi
  imports=$(printf '%s\n' "$dump" | awk '/DLL Name:/{print tolower($3)}' | sort -u)
  for dll in $imports; do
    if ! [[ $dll =~ $system_dlls ]]; then
      echo "FAIL $rel imports non-system DLL $dll"; fail=1
    fi
  done
  if ! "$objdump" -h "$bin" | grep -q '\.rsrc'; then
    echo "FAIL $rel has no resources"; fail=1
  fi
  # Version information: the UTF-16 key "VS_VERSION_INFO" appears in the resource data.
  if ! LC_ALL=C grep -q -a -P 'V\x00S\x00_\x00V\x00E\x00R' "$bin"; then
    echo "FAIL $rel has no version information"; fail=1
  fi
  if [ "$catalogue" = yes ] && ! LC_ALL=C grep -q -a -P 'J\x00S\x00O\x00N\x00' "$bin"; then
    echo "FAIL $rel lacks the JSON catalogue resource"; fail=1
  fi
  echo "ok   $rel: exports [$got]; imports $(echo $imports | tr '\n' ' ')"
done
if [ $checked -eq 0 ]; then
  echo "no Windows binaries found under $build"; exit 1
fi
exit $fail
