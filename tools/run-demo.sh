#!/usr/bin/env bash
# Installs what is missing, builds the Linux preset and runs the main job on the embedded default printer:
# the model record and default settings, then a sample label printed in each of the four languages through
# the rendering library and rendered back by the virtual printer (lbl view).
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
cmake --preset linux >/dev/null
# Only lbl and the modules it loads; the test programs are built by tools/run-tests.sh.
cmake --build --preset linux --target lbl
lbl=build/linux/tools/lbl
# The demo's own machine, freshly installed each time (lbl keeps a machine between commands).
export LBL_STATE_DIR=build/linux/demo/state
"$lbl" reset >/dev/null
echo "== model record of the embedded default printer =="
"$lbl" model
echo "== default settings =="
"$lbl" defaults

demo=build/linux/demo
mkdir -p "$demo"
# The sample label: a frame, a block of "text" lines, a barcode and two filled boxes, 2 x 3 inches at
# 203 dpi (lbl print fits it to the 4 x 6 inch label).
awk 'BEGIN {
  w = 406; h = 609; srand(7)
  printf "P1\n# sample label\n%d %d\n", w, h
  for (x = 30; x < w - 30; x += bw) { bw = 2 * (1 + int(rand() * 3)); bar[x] = (rand() < 0.5); for (i = 1; i < bw; i++) bar[x + i] = bar[x] }
  for (y = 0; y < h; y++) {
    line = ""
    for (x = 0; x < w; x++) {
      b = (x < 6 || y < 6 || x >= w - 6 || y >= h - 6)
      if (y >= 30 && y < 150 && (y - 30) % 20 < 12 && x >= 30 && x < w - 30 - (int((y - 30) / 20) * 37) % 120 && x % 23 < 19 && x % 5 < 4) b = 1
      if (y >= 200 && y < 320 && x >= 30 && x < w - 30 && bar[x]) b = 1
      if (y >= 370 && y < 570 && x >= 30 && x < 180) b = 1
      if (y >= 370 && y < 450 && x >= 220 && x < w - 30) b = 1
      line = line (b ? "1" : "0") (x % 35 == 34 ? "\n" : " ")
    }
    print line
  }
}' > "$demo/sample.pbm"

show() {  # the first lines of a listing and how many were left out
  local text n
  text=$(cat)
  n=$(printf '%s\n' "$text" | wc -l)
  printf '%s\n' "$text" | head -n "$1"
  if [ "$n" -gt "$1" ]; then echo "   ... ($((n - $1)) more lines)"; fi
}

for lang in tspl zpl esc twl; do
  echo "== sample label in ${lang^^}: lbl print, then lbl view =="
  "$lbl" print --language "$lang" -o "$demo/sample.$lang" "$demo/sample.pbm" >/dev/null
  "$lbl" view -o "$demo/label-$lang" "$demo/sample.$lang" > "$demo/view-$lang.txt"
  grep -v '^label ' "$demo/view-$lang.txt" | show 24
  grep '^label ' "$demo/view-$lang.txt"
done
echo "== the machine is kept between commands: a label stock added, then listed by the next command =="
"$lbl" stock add --name Shipping --width 100 --length 150
"$lbl" stock list | grep Shipping
echo "== the printed labels as PNG files are in $demo (label-*.png) =="
