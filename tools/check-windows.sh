#!/usr/bin/env bash
# Checks the Windows binaries of a cross build: each one exports exactly its entry points, imports only
# Windows system DLLs (no libssp-0.dll: the stack protector's checks are linked in), carries its version
# (with LegalCopyright) and, for the driver DLLs, catalogue resources, and the manifests of lblinst32.exe
# (id 1) and lbldrv6ui.dll (id 2); is built with ASLR and DEP (DllCharacteristics DYNAMIC_BASE and
# NX_COMPAT, HIGH_ENTROPY_VA on x86_64, base relocations) and the stack protector; ships without debug
# sections, its debug information in NAME.debug beside it, named with its CRC by .gnu_debuglink.
# When the package target has run, also the package, its debug files, and a signing of a copy of it with
# a throw-away certificate that osslsigncode must verify (and must refuse once a byte of code changed).
#   Usage: tools/check-windows.sh BUILD-DIR TRIPLET
set -euo pipefail
build=${1:?build dir}
triplet=${2:-x86_64-w64-mingw32}
objdump=${triplet}-objdump
windres=${triplet}-windres
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# binary (relative to the build dir) : exports (space-separated, sorted) : needs catalogue : manifest id :
# system DLLs it must not import (space-separated; the rendering DLL runs in the spooler and print hosts,
# which have no shell)
expected=(
  "render/lbldrv6.dll:DrvDisableDriver DrvEnableDriver DrvQueryDriverInfo:yes:-:shell32.dll"
  "monitor/lblmon.dll:InitializePrintMonitor2:no:-:"
  "ui/lbldrv6ui.dll:-:yes:2:"
  "installer/lblinst32.exe:-:no:1:"
)
system_dlls='^(kernel32|user32|gdi32|winspool\.drv|spoolss|advapi32|setupapi|compstui|gdiplus|msvcrt|shell32|shlwapi|ole32|oleaut32|comctl32|comdlg32|ws2_32|iphlpapi|newdev|version|cfgmgr32|ntdll|bcrypt|userenv|uxtheme)\.dll$|^winspool\.drv$'

# A text as the UTF-16 pattern grep -P finds in resource data.
utf16() {
  local text=$1 out= c i
  for ((i = 0; i < ${#text}; i++)); do
    c=${text:i:1}
    case $c in [.\(\)\[\]\\+*?^\$\|]) c="\\$c" ;; esac
    out+="$c\\x00"
  done
  printf '%s' "$out"
}

# The CRC-32 of a file as .gnu_debuglink records it (the one gzip's trailer carries), in hex.
file_crc() { gzip -c "$1" | tail -c 8 | od -An -N4 -tx4 | tr -d ' \n'; }
# The file name and CRC that a binary's .gnu_debuglink section holds: "NAME CRC".
debuglink() {
  local hex
  hex=$("$objdump" -s -j .gnu_debuglink "$1" 2>/dev/null |
    awk '/^ [0-9a-f]+ /{for (i = 2; i <= 5 && length($i) <= 8 && $i ~ /^[0-9a-f]+$/; i++) printf "%s", $i}')
  [ -n "$hex" ] || return 1
  # The name, its NUL, zeros up to a multiple of 4 bytes, then the CRC (little-endian).
  local name= i byte
  for ((i = 0; i < ${#hex}; i += 2)); do
    byte=${hex:i:2}
    [ "$byte" = 00 ] && break
    name+=$(printf "\\x$byte")
  done
  local at=$(( ((i / 2 + 1 + 3) / 4) * 8 ))
  local crc=${hex:at:8}
  [ ${#crc} -eq 8 ] || return 1
  printf '%s %s' "$name" "${crc:6:2}${crc:4:2}${crc:2:2}${crc:0:2}"
}

# The manifest resource (type 24) of a binary, as text; empty when it has none of that id.
manifest_of() {
  local bin=$1 id=$2
  "$windres" -J coff -O res -i "$bin" -o "$scratch/res" 2>/dev/null || return 0
  # .res records: DataSize, HeaderSize, then type and name (0xFFFF + ordinal when numeric), ...
  od -An -v -tu1 "$scratch/res" | tr -s ' \n' '\n\n' | sed '/^$/d' >"$scratch/res.bytes"
  awk -v want="$id" '
    { b[n++] = $1 }
    function u32(o) { return b[o] + 256 * (b[o+1] + 256 * (b[o+2] + 256 * b[o+3])) }
    function u16(o) { return b[o] + 256 * b[o+1] }
    END {
      o = 0
      while (o + 8 <= n) {
        size = u32(o); head = u32(o + 4)
        if (u16(o + 8) == 65535 && u16(o + 10) == 24 && u16(o + 12) == 65535 && u16(o + 14) == want) {
          for (i = 0; i < size; i++) printf "%c", b[o + head + i]
          exit
        }
        o += head + size; while (o % 4) o++
      }
    }' "$scratch/res.bytes"
}

# xpath over a manifest, namespaces aside.
xq() { xmllint --xpath "$2" - <<<"$1" 2>/dev/null || true; }

check_manifest() {
  local rel=$1 bin=$2 id=$3 text
  text=$(LC_ALL=C manifest_of "$bin" "$id")
  if [ -z "$text" ]; then
    echo "FAIL $rel has no manifest (resource 24, id $id)"; fail=1; return
  fi
  if ! xmllint --noout - <<<"$text" 2>"$scratch/xml.err"; then
    echo "FAIL $rel: its manifest is not well-formed XML: $(head -1 "$scratch/xml.err")"; fail=1; return
  fi
  local cc6="//*[local-name()='dependentAssembly']/*[local-name()='assemblyIdentity'][@name='Microsoft.Windows.Common-Controls']"
  if [ "$(xq "$text" "string($cc6/@version)")" != 6.0.0.0 ] ||
     [ "$(xq "$text" "string($cc6/@publicKeyToken)")" != 6595b64144ccf1df ]; then
    echo "FAIL $rel: the manifest binds no Common Controls 6.0.0.0"; fail=1
  fi
  local level
  level=$(xq "$text" "string(//*[local-name()='requestedExecutionLevel']/@level)")
  local dpi
  dpi=$(xq "$text" "string(//*[local-name()='dpiAwareness'])")
  if [ "$id" = 1 ]; then
    [ "$level" = requireAdministrator ] || { echo "FAIL $rel: requestedExecutionLevel '$level', not requireAdministrator"; fail=1; }
    [ "$(echo "$dpi" | tr -d ' ')" = PerMonitorV2,PerMonitor ] || { echo "FAIL $rel: dpiAwareness '$dpi'"; fail=1; }
  elif [ -n "$level" ]; then
    echo "FAIL $rel: a DLL's manifest asks for an execution level ($level)"; fail=1
  fi
  manifest_note="; manifest $id: Common Controls 6${level:+, $level}${dpi:+, DPI $dpi}"
}

fail=0
checked=0
for row in "${expected[@]}"; do
  IFS=: read -r rel exports catalogue manifest forbidden <<<"$row"
  bin=$build/$rel
  if [ ! -f "$bin" ]; then
    echo "MISSING $rel"; fail=1
    continue
  fi
  checked=$((checked + 1))
  dump=$("$objdump" -p "$bin")
  sections=$("$objdump" -h "$bin" | awk '$1 ~ /^[0-9]+$/{print $2}')
  # Exported names: the lines after "[Ordinal/Name Pointer] Table".
  got=$(printf '%s\n' "$dump" | awk '/\[Ordinal\/Name Pointer\] Table/{t=1;next} t&&/^[[:space:]]*\[/{print $NF; next} t&&/^$/{t=0}' | sort | tr '\n' ' ' | sed 's/ $//')
  if [ "$exports" != "-" ] && [ "$got" != "$exports" ]; then
    echo "FAIL $rel exports '$got', expected '$exports'"; fail=1
  fi
  imports=$(printf '%s\n' "$dump" | awk '/DLL Name:/{print tolower($3)}' | sort -u)
  for dll in $imports; do
    if [[ $dll == libssp* ]]; then
      echo "FAIL $rel imports $dll: the stack protector's runtime must be linked in"; fail=1
    elif ! [[ $dll =~ $system_dlls ]]; then
      echo "FAIL $rel imports non-system DLL $dll"; fail=1
    fi
    for banned in $forbidden; do
      if [ "$dll" = "$banned" ]; then
        echo "FAIL $rel imports $dll"; fail=1
      fi
    done
  done
  grep -qx '\.rsrc' <<<"$sections" || { echo "FAIL $rel has no resources"; fail=1; }
  # Version information: the UTF-16 key "VS_VERSION_INFO" appears in the resource data, with the notice.
  if ! LC_ALL=C grep -q -a -P "$(utf16 VS_VERSION_INFO)" "$bin"; then
    echo "FAIL $rel has no version information"; fail=1
  fi
  if ! LC_ALL=C grep -q -a -P "$(utf16 LegalCopyright)\\x00\\x00(\\x00\\x00)?$(utf16 'Copyright (C) ')" "$bin"; then
    echo "FAIL $rel has no LegalCopyright notice in its version information"; fail=1
  fi
  if [ "$catalogue" = yes ] && ! LC_ALL=C grep -q -a -P "$(utf16 JSON)" "$bin"; then
    echo "FAIL $rel lacks the JSON catalogue resource"; fail=1
  fi
  manifest_note=
  [ "$manifest" = - ] || check_manifest "$rel" "$bin" "$manifest"

  # ASLR and DEP as Windows reads them from the optional header, with the relocations ASLR needs.
  characteristics=$((16#$(printf '%s\n' "$dump" | awk '/^DllCharacteristics/ && !n++ {print $2}')))
  want=$((0x40 | 0x100))  # DYNAMIC_BASE, NX_COMPAT
  [[ $triplet == x86_64* ]] && want=$((want | 0x20))  # HIGH_ENTROPY_VA
  if (( (characteristics & want) != want )); then
    printf 'FAIL %s: DllCharacteristics 0x%04x lacks 0x%04x\n' "$rel" "$characteristics" $((want & ~characteristics)); fail=1
  fi
  grep -qx '\.reloc' <<<"$sections" || { echo "FAIL $rel has no base relocations (.reloc)"; fail=1; }

  # Shipped stripped; the debug information is in NAME.debug, which .gnu_debuglink names with its CRC.
  if debug=$(grep -E '^\.(debug_|zdebug_|stab)' <<<"$sections"); then
    echo "FAIL $rel carries debug sections: $(echo $debug)"; fail=1
  fi
  link=$(debuglink "$bin" || true)
  dbg=$bin.debug
  if [ -z "$link" ]; then
    echo "FAIL $rel has no .gnu_debuglink"; fail=1
  elif [ "${link% *}" != "$(basename "$dbg")" ] || [ ! -f "$dbg" ]; then
    echo "FAIL $rel links '${link% *}', but $(basename "$dbg") is what lies beside it"; fail=1
  elif [ "${link#* }" != "$(file_crc "$dbg")" ]; then
    echo "FAIL $rel: the CRC its .gnu_debuglink records is not that of $(basename "$dbg")"; fail=1
  elif ! "$objdump" -h "$dbg" | grep -c '\.debug_info' >/dev/null; then
    echo "FAIL $(basename "$dbg") holds no .debug_info"; fail=1
  fi
  # -fstack-protector-strong: the functions it guards call __stack_chk_fail (a symbol of the debug file).
  if [ -f "$dbg" ] && ! "$objdump" -t "$dbg" | grep -c '__stack_chk_fail' >/dev/null; then
    echo "FAIL $rel is not built with the stack protector (no __stack_chk_fail)"; fail=1
  fi
  printf 'ok   %s: exports [%s]; imports %s; DllCharacteristics 0x%04x%s\n' "$rel" "$got" \
    "$(echo $imports | tr '\n' ' ')" "$characteristics" "$manifest_note"
done
if [ $checked -eq 0 ]; then
  echo "no Windows binaries found under $build"; exit 1
fi

# The driver package, when the package target has built it: every file of the package list in the
# folder and, byte for byte the same, in the zip; the INF the build generates; the product version
# of the INF's DriverVer in every binary's version strings; the architecture of each folder's binaries;
# each binary's debug file in lblv6-debug; then a copy of the package signed with a throw-away
# certificate, every signature verified by osslsigncode.
pkg=$build/package/lblv6
list=$(dirname "$0")/../resources/package_files.txt
if [ -d "$pkg" ]; then
  unpacked=$scratch/unpacked
  mkdir -p "$unpacked"
  zip=$(realpath -m "$build/package/lblv6.zip")
  if ! (cd "$unpacked" && cmake -E tar xf "$zip"); then
    echo "FAIL package: cannot unpack lblv6.zip"; fail=1
  fi
  version=$(tr -d '\r' <"$pkg/lblv6.inf" | sed -n 's/^DriverVer *= *[^,]*, *\([0-9.]*\).*/\1/p')
  IFS=. read -r vy vm vd vb <<<"$version"
  text=$(printf '%d.%02d.%02d.%d' "$vy" "$vm" "$vd" "$vb")
  files=0
  binaries=()
  while read -r dir names; do
    case $dir in ''|'#'*) continue ;; esac
    dir=${dir%:}
    for f in $names; do
      rel=$f; [ "$dir" = . ] || rel=$dir/$f
      files=$((files + 1))
      if [ ! -f "$pkg/$rel" ]; then echo "FAIL package: missing $rel"; fail=1; continue; fi
      if ! cmp -s "$pkg/$rel" "$unpacked/lblv6/$rel"; then echo "FAIL package: lblv6.zip differs in $rel"; fail=1; fi
      case $rel in
        *.dll|*.exe)
          binaries+=("$rel")
          if ! LC_ALL=C grep -q -a -P "$(utf16 "$text")" "$pkg/$rel"; then
            echo "FAIL package: $rel lacks version $text of the INF"; fail=1
          fi
          want=$([ "$dir" = i386 ] && echo pei-i386 || echo pei-x86-64)
          format=$("$objdump" -f "$pkg/$rel")
          if [[ $format != *"file format $want"* ]]; then
            echo "FAIL package: $rel is not $want"; fail=1
          fi
          link=$(debuglink "$pkg/$rel" || true)
          dbg=$build/package/lblv6-debug/$rel.debug
          if [ ! -f "$dbg" ] || [ "${link#* }" != "$(file_crc "$dbg")" ]; then
            echo "FAIL package: lblv6-debug/$rel.debug is not the debug file of $rel"; fail=1
          fi ;;
      esac
    done
  done <"$list"
  for arch in amd64 i386; do
    [[ " ${binaries[*]} " == *" $arch/lblinst32.exe "* ]] || { echo "FAIL package: no $arch/lblinst32.exe"; fail=1; }
  done
  if ! cmp -s "$pkg/lblv6.inf" "$build/resources/lblv6.inf"; then
    echo "FAIL package: lblv6.inf is not the INF of this build"; fail=1
  fi
  echo "package: $files files in lblv6/ and lblv6.zip checked, debug files in lblv6-debug/; DriverVer $version"

  # Signing, as a release does it, on a copy: a throw-away self-signed code-signing certificate.
  if ! command -v osslsigncode >/dev/null || ! command -v openssl >/dev/null; then
    echo "FAIL signing: osslsigncode and openssl are needed (tools/install-deps.sh)"; fail=1
  else
    cert=$scratch/cert
    mkdir -p "$cert"
    openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Tarnwell Test Signing" \
      -addext keyUsage=critical,digitalSignature -addext extendedKeyUsage=codeSigning \
      -keyout "$cert/key.pem" -out "$cert/cert.pem" 2>/dev/null
    # The package as built: signed throughout (a certificate was given) or not at all.
    unsigned=0
    for rel in "${binaries[@]}"; do
      out=$(osslsigncode verify -in "$pkg/$rel" 2>&1 || true)
      [[ $out != *"No signature found"* ]] || unsigned=$((unsigned + 1))
    done
    if [ "$unsigned" -ne 0 ] && [ "$unsigned" -ne ${#binaries[@]} ]; then
      echo "FAIL signing: $unsigned of ${#binaries[@]} binaries of the package are unsigned"; fail=1
    fi
    state=$([ "$unsigned" -eq 0 ] && echo signed || echo unsigned)
    cp -r "$pkg" "$scratch/signed"
    if ! LBL_SIGN_CERT=$cert/cert.pem LBL_SIGN_KEY=$cert/key.pem LBL_SIGN_CAFILE=$cert/cert.pem \
        "$(dirname "$0")/sign-package.sh" "$scratch/signed" >"$scratch/sign.log" 2>&1; then
      cat "$scratch/sign.log"; echo "FAIL signing: tools/sign-package.sh failed"; fail=1
    fi
    good=0
    for rel in "${binaries[@]}"; do
      out=$(osslsigncode verify -CAfile "$cert/cert.pem" -in "$scratch/signed/$rel" 2>&1 || true)
      if [[ $out != *"Signature verification: ok"* ]]; then
        echo "FAIL signing: $rel does not verify"; printf '%s\n' "$out" | tail -5; fail=1
      elif ! grep -qi 'digest algorithm *: *sha256' <<<"$out" || ! grep -q 'CN=Tarnwell Test Signing' <<<"$out"; then
        echo "FAIL signing: $rel is not signed with SHA-256 by the test certificate"; fail=1
      else
        good=$((good + 1))
      fi
    done
    # The signature covers the file: the signed copy of lblinst32.exe with one byte of code changed fails.
    bad=$scratch/tampered.exe
    cp "$scratch/signed/amd64/lblinst32.exe" "$bad"
    offset=$(( 16#$("$objdump" -h "$bad" | awk '$2 == ".text" && !n++ {print $6}') + 64 ))
    byte=$(od -An -tx1 -j "$offset" -N1 "$bad" | tr -d ' \n')
    printf "\\x$([ "$byte" = cc ] && echo 90 || echo cc)" | dd of="$bad" bs=1 seek="$offset" conv=notrunc status=none
    if osslsigncode verify -CAfile "$cert/cert.pem" -in "$bad" >/dev/null 2>&1; then
      echo "FAIL signing: a changed lblinst32.exe still verifies"; fail=1
    fi
    echo "signing: the package is $state; $good of ${#binaries[@]} binaries of a copy signed with a throw-away certificate and verified" \
      "(osslsigncode $(osslsigncode --version | awk 'NR == 1 {print $2}' | tr -d ,))"
  fi
else
  echo "package: not built (cmake --build --preset mingw64 --target package)"
fi
exit $fail
