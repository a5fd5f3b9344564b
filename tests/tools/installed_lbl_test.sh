#!/usr/bin/env bash
# lbl as installed: 'cmake --install' into a temporary prefix, then run from there with the build tree
# and the source tree hidden (a private mount namespace lays an empty folder over each), as on a machine
# that has only the installed files. It prints a PNG (the same bytes as the build tree's lbl), a PDF
# (the PDF module and its libraries), installs a printer (the package INF from share/lbl), prints
# on it by name and runs lbl serve's program. Nothing installed may name the build or the source tree
# outside debugging sections.
#
#   installed_lbl_test.sh BUILD-DIR SOURCE-DIR CMAKE [release|sanitized]
set -euo pipefail
build=$(cd "$1" && pwd) source=$(cd "$2" && pwd) cmake=$3 kind=${4:-release}
work=$(mktemp -d /tmp/lbl-installed.XXXXXX)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAILED: $*" >&2; exit 1; }

"$cmake" --install "$build" --prefix "$work/prefix" >"$work/install.log" || fail "cmake --install (see $work/install.log)"
lbl=$work/prefix/bin/lbl
for f in lib/lbl/libwinsim.so lib/lbl/lbldrv6.so lib/lbl/lbldrv6ui.so lib/lbl/lblmon.so lib/lbl/lblpdf.so \
         lib/lbl/lblpng.so lib/lbl/lbljpeg.so lib/lbl/lbl-serve share/lbl/lbldrv6.dat share/lbl/lblv6.inf; do
  [[ -f $work/prefix/$f ]] || fail "not installed: $f"
done
# A path into a tree names one of its folders: matching the bare folder name would also match stray
# bytes of machine code when the tree sits at a short path such as /w.
tree_paths=(-e "$build/")
for d in build cmake common image render ui monitor installer resources winsim tools tests ipp bench; do
  tree_paths+=(-e "${source%/}/$d/")
done
# UBSan and TSan write the source file of each check into the code: only other builds are checked.
[[ $kind == sanitized ]] || while IFS= read -r -d '' f; do
  objcopy --strip-debug "$f" "$work/stripped" 2>/dev/null || cp "$f" "$work/stripped"
  if grep -aqF "${tree_paths[@]}" "$work/stripped"; then fail "$f names the build or source tree"; fi
done < <(find "$work/prefix" -type f -print0)

# The inputs and the build tree's output to compare with, made before the trees are hidden.
"$build/tools/lbl" sample --dither 3 -o "$work/label.png" >/dev/null
printf '%s\n' '%PDF-1.4' '1 0 obj <</Type/Catalog/Pages 2 0 R>> endobj' \
  '2 0 obj <</Type/Pages/Kids[3 0 R]/Count 1>> endobj' \
  '3 0 obj <</Type/Page/Parent 2 0 R/MediaBox[0 0 144 72]/Contents 4 0 R>> endobj' \
  '4 0 obj <</Length 18>> stream' '10 10 100 40 re f' 'endstream endobj' 'trailer <</Root 1 0 R>>' '%%EOF' \
  >"$work/label.pdf"
LBL_STATE_DIR=$work/build-state "$build/tools/lbl" print --language zpl -o "$work/build.zpl" "$work/label.png" >/dev/null

if ! unshare --mount --map-root-user true 2>/dev/null; then
  echo "SKIPPED: no private mount namespace here (unshare --mount --map-root-user)"
  exit 77
fi
export LBL_STATE_DIR=$work/state
unshare --mount --map-root-user bash -euo pipefail -c '
  mount -t tmpfs none "$1"
  [[ $2 == "$1"/* ]] || mount -t tmpfs none "$2"
  [[ ! -e $1/CMakeCache.txt ]] || exit 3
  lbl=$3 work=$4
  "$lbl" --version
  "$lbl" print --language zpl -o "$work/installed.zpl" "$work/label.png" >/dev/null
  "$lbl" print --language tspl --size 50.8x25.4 -o "$work/pdf.tspl" "$work/label.pdf" >/dev/null 2>"$work/pdf.err"
  "$lbl" view -o "$work/pdf" "$work/pdf.tspl" >"$work/pdf.view"
  "$lbl" install --model "Tarnwell TW-JA" --port FILE: --printer Shelf >"$work/install.json"
  "$lbl" print --printer Shelf --blank 1 -o "$work/shelf.prn" >"$work/shelf.json"
  "$lbl" serve --devices >"$work/devices.txt"
' hide "$build" "$source" "$lbl" "$work" >"$work/run.log" 2>&1 || { cat "$work/run.log" >&2; fail "the installed lbl (log above)"; }

grep -q "^lbl " "$work/run.log" || fail "lbl --version printed nothing"
cmp -s "$work/build.zpl" "$work/installed.zpl" || fail "the installed lbl printed other bytes than the build's"
# The PDF's 100 x 40 point box at 203 dpi: 282 x 113 dots (31866), give or take its edges.
black=$(sed -n 's/^label 1: [0-9]* x 203 dots, \([0-9]*\) black.*/\1/p' "$work/pdf.view")
[[ -n $black ]] && (( black > 31000 && black < 32700 )) || fail "the PDF label: $(cat "$work/pdf.view")"
grep -q '"Installed": true' "$work/install.json" || fail "install: $(cat "$work/install.json")"
grep -q '"Error": null' "$work/shelf.json" || fail "print on the installed printer: $(cat "$work/shelf.json")"
echo "the installed lbl printed a PNG, a PDF and on a printer it installed, with $build and $source hidden"
