#!/usr/bin/env bash
# Checks the Windows binaries of a cross build: each one exports exactly its entry points,
# imports only Windows system DLLs and carries its version (and, for the driver DLLs, catalogue)
# resources.  Usage: tools/check-windows.sh BUILD-DIR TRIPLET
set -euo pipefail
build=${1:?build dir}
triplet=${2:-x86_64-w64-mingw32}
objdump=${triplet}-objdump

# binary (relative to the build dir) : exports (space-separated, sorted) : needs catalogue : system DLLs
# it must not import (space-separated; the rendering DLL runs in the spooler and print hosts, which have no
# shell)
expected=(
  "render/lbldrv6.dll:DrvDisableDriver DrvEnableDriver DrvQueryDriverInfo:yes:shell32.dll"
  "monitor/lblmon.dll:InitializePrintMonitor2:no"
  "ui/lbldrv6ui.dll:-:yes"
  "installer/lblinst32.exe:-:no"
)
system_dlls='^(kernel32|user32|gdi32|winspool\.drv|spoolss|advapi32|setupapi|compstui|gdiplus|msvcrt|shell32|shlwapi|ole32|oleaut32|comctl32|comdlg32|ws2_32|iphlpapi|newdev|version|cfgmgr32|ntdll|bcrypt|userenv|uxtheme)\.dll$|^winspool\.drv$'

fail=0
checked=0
for row in "${expected[@]}"; do
  IFS=: read -r rel exports catalogue forbidden <<<"$row"
  bin=$build/$rel
  if [ ! -f "$bin" ]; then
    # ui arrives later; the renderer, the monitor and the installer must exist.
    case $rel in
      render/*|monitor/*|installer/*) echo "MISSING $rel"; fail=1 ;;
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
    for banned in $forbidden; do
      if [ "$dll" = "$banned" ]; then
        echo "FAIL $rel imports $dll"; fail=1
      fi
    done
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

# The driver package, when the package target has built it: every file of the package list in the
# folder and, byte for byte the same, in the zip; the INF the build generates; the product version
# of the INF's DriverVer in every DLL's version strings; the architecture of each DLL folder.
pkg=$build/package/lblv6
list=$(dirname "$0")/../resources/package_files.txt
if [ -d "$pkg" ]; then
  unpacked=$(mktemp -d)
  trap 'rm -rf "$unpacked"' EXIT
  zip=$(realpath -m "$build/package/lblv6.zip")
  if ! (cd "$unpacked" && cmake -E tar xf "$zip"); then
    echo "FAIL package: cannot unpack lblv6.zip"; fail=1
  fi
  version=$(tr -d '\r' <"$pkg/lblv6.inf" | sed -n 's/^DriverVer *= *[^,]*, *\([0-9.]*\).*/\1/p')
  IFS=. read -r vy vm vd vb <<<"$version"
  text=$(printf '%d.%02d.%02d.%d' "$vy" "$vm" "$vd" "$vb")
  utf16=
  for ((i = 0; i < ${#text}; i++)); do
    c=${text:i:1}; [ "$c" = . ] && c='\.'
    utf16+="$c\\x00"
  done
  files=0
  while read -r dir names; do
    case $dir in ''|'#'*) continue ;; esac
    dir=${dir%:}
    for f in $names; do
      rel=$f; [ "$dir" = . ] || rel=$dir/$f
      files=$((files + 1))
      if [ ! -f "$pkg/$rel" ]; then echo "FAIL package: missing $rel"; fail=1; continue; fi
      if ! cmp -s "$pkg/$rel" "$unpacked/lblv6/$rel"; then echo "FAIL package: lblv6.zip differs in $rel"; fail=1; fi
      case $rel in
        *.dll)
          if ! LC_ALL=C grep -q -a -P "$utf16" "$pkg/$rel"; then
            echo "FAIL package: $rel lacks version $text of the INF"; fail=1
          fi
          want=$([ "$dir" = i386 ] && echo pei-i386 || echo pei-x86-64)
          format=$("$objdump" -f "$pkg/$rel")
          if [[ $format != *"file format $want"* ]]; then
            echo "FAIL package: $rel is not $want"; fail=1
          fi ;;
      esac
    done
  done <"$list"
  if ! cmp -s "$pkg/lblv6.inf" "$build/resources/lblv6.inf"; then
    echo "FAIL package: lblv6.inf is not the INF of this build"; fail=1
  fi
  echo "package: $files files in lblv6/ and lblv6.zip checked; DriverVer $version"
else
  echo "package: not built (cmake --build --preset mingw64 --target package)"
fi
exit $fail
