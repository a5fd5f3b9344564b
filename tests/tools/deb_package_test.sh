#!/usr/bin/env bash
# The Debian package 'cpack -G DEB' makes of the Linux build: the files 'cmake --install' puts in
# place, under /usr, and a declared dependency on the package of every library they link (looked up
# here with dpkg -S, apart from cpack's own lookup), of the libraries winsim loads by name to draw, and
# of the fonts the dialogs are drawn with in each user-interface language.
#
#   deb_package_test.sh BUILD-DIR CPACK CMAKE
set -euo pipefail
build=$(cd "$1" && pwd) cpack=$2 cmake=$3
for tool in dpkg-deb dpkg-shlibdeps objdump; do
  command -v "$tool" >/dev/null || { echo "SKIPPED: no $tool here (dpkg-dev, binutils)"; exit 77; }
done
work=$(mktemp -d /tmp/lbl-deb.XXXXXX)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAILED: $*" >&2; exit 1; }

"$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log" >&2; fail "cpack -G DEB"; }
debs=("$work"/out/lbl_*.deb)
[[ ${#debs[@]} == 1 && -f ${debs[0]} ]] || fail "no lbl_*.deb: $(ls "$work/out")"
deb=${debs[0]}
"$cmake" --install "$build" --prefix "$work/prefix" >"$work/install.log" || fail "cmake --install"

# The same files, under /usr.
dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | sed 's|^\./usr/||' | sort >"$work/deb.files"
(cd "$work/prefix" && find . -type f -o -type l) | sed 's|^\./||' | sort >"$work/installed.files"
diff -u "$work/installed.files" "$work/deb.files" >&2 || fail "the package's files are not what cmake --install puts in place"

field() { dpkg-deb -f "$deb" "$1" | tr ',' '\n' | sed 's/^ *//; s/ .*//'; }
field Depends >"$work/depends"
field Recommends >"$work/recommends" || true
declared() { grep -qx "$1" "$work/depends"; }

# Every library an installed program or module links, other than lbl's own in lib/lbl.
while IFS= read -r -d '' f; do
  objdump -p "$f" 2>/dev/null | awk '$1 == "NEEDED" {print $2}'
done < <(find "$work/prefix/bin" "$work/prefix/lib/lbl" -type f -print0) | sort -u >"$work/needed"
ldconfig -p >"$work/ldconfig"  # read from a file: a reader that stops early must not break a pipe
while read -r lib; do
  [[ -e $work/prefix/lib/lbl/$lib ]] && continue
  path=$(awk -v l="$lib" '$1 == l && /x86-64/ {print $NF; exit}' "$work/ldconfig")
  [[ -n $path ]] || fail "$lib is not installed on this machine"
  owner=$(dpkg -S "$path" 2>/dev/null || dpkg -S "$(realpath "$path")" 2>/dev/null) || fail "no package owns $path"
  pkg=${owner%%:*}
  declared "$pkg" || fail "links $lib (package $pkg), which the package does not depend on: $(dpkg-deb -f "$deb" Depends)"
done <"$work/needed"
grep -q '^libpoppler-glib' "$work/needed" || fail "the PDF module links no Poppler (the check would see nothing)"

# Loaded by name when something draws, and the faces the dialogs ask for: "Arial" and the shell font
# (Liberation Sans), and the Chinese and Korean texts (WenQuanYi Micro Hei), without which those
# dialogs show empty boxes.
for pkg in libcairo2 libfontconfig1 fonts-liberation; do
  declared "$pkg" || fail "the package does not depend on $pkg"
done
grep -qx fonts-wqy-microhei "$work/depends" "$work/recommends" ||
  fail "the package neither depends on nor recommends fonts-wqy-microhei (the zh and ko dialogs' texts)"
echo "$(basename "$deb"): the files of cmake --install under /usr; depends on $(wc -l <"$work/depends") packages"
