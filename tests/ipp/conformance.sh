#!/usr/bin/env bash
# The printer application against CUPS' own IPP conformance tests, and pictures and PDF printed over
# IPP compared byte for byte with lbl print. Usage: conformance.sh BUILD-DIR
#
# For a TSPL, a ZPL, an ESC and a TWL model, each added with lbl printer add on a file:// device:
#   - ipptool's ipp-everywhere.test and ipp-2.0.test pass;
#   - a PNG, a JPEG and a PDF sent with print-job-and-wait.test reach the file as a stream that
#     lbl view reads, with the labels expected, and with the bytes lbl print makes of the same file
#     on the same paper (lbl print --deliver for TWL: what the printer receives from the monitor);
#   - a stock added to a printer with lbl stock add is offered over IPP while the server runs.
# Everything runs on 127.0.0.1 on a port free at the start; the server is stopped at the end.
set -euo pipefail
build=$(cd "${1:?usage: conformance.sh BUILD-DIR}" && pwd)
lbl=$build/tools/lbl
fixtures=$build/tests/ipp/lbl-ipp-fixtures
suite=/usr/share/cups/ipptool
for f in "$lbl" "$build/tools/lbl-serve" "$fixtures" "$suite/ipp-everywhere.test"; do
  [ -e "$f" ] || { echo "conformance: missing $f" >&2; exit 1; }
done
command -v ipptool >/dev/null || { echo "conformance: ipptool missing (cups-ipp-utils)" >&2; exit 1; }

work=$(mktemp -d)
server=""
stuck=0
stop_server() {
  if [ -n "$server" ]; then
    kill "$server" 2>/dev/null || true
    # A server that does not end is a fault of its own (a deadlock), not a reason to wait for ever.
    # PAPPL waits up to 60 s for jobs it still counts as active before it stops (it does at the end here).
    local waited=0
    while kill -0 "$server" 2>/dev/null && ((waited < 900)); do sleep 0.1; waited=$((waited + 1)); done
    if kill -0 "$server" 2>/dev/null; then
      echo "FAIL  lbl serve did not stop within 90 s of SIGTERM" >&2
      kill -9 "$server" 2>/dev/null || true
      stuck=1
    fi
    wait "$server" 2>/dev/null || true
    server=""
  fi
}
trap 'stop_server; [ -n "${IPP_CHECK_KEEP:-}" ] || rm -rf "$work"' EXIT
export LBL_STATE_DIR=$work/state

# name model language paper(the model's first stock) width-px height-px of that paper at 203 dpi
printers=(
  "tspl|Tarnwell TW-QX|tspl|4 x 6"
  "zpl|Tarnwell TW-QD|zpl|4 x 6"
  "esc|Tarnwell TW-LC|esc|72mm x 130mm"
  "twl|Tarnwell TW-JA|twl|72mm x 130mm"
)
for p in "${printers[@]}"; do
  IFS='|' read -r name model language paper <<<"$p"
  : >"$work/$name.prn"
  "$lbl" printer add "$name" --model "$model" --language "$language" --device "file://$work/$name.prn" >/dev/null
done

# A port free at the start; should another program take it before the server listens, the next
# try takes another. On a loaded machine the server may take seconds to answer.
port=""
start_server() {
  for _ in 1 2 3; do
    port=$("$fixtures" port)
    "$lbl" serve --port "$port" --log "$work/serve.log" &
    server=$!
    for _ in $(seq 300); do
      kill -0 "$server" 2>/dev/null || break
      if ipptool -q -T 2 "ipp://localhost:$port/ipp/print/twl" "$suite/get-printer-attributes.test" 2>/dev/null; then
        return 0
      fi
      sleep 0.1
    done
    stop_server
  done
  echo "conformance: lbl serve did not start" >&2
  tail -20 "$work/serve.log" >&2
  exit 1
}

# The documents: a label picture, the same as JPEG, a two-page PDF label; and the files
# ipptool reads for the tests it runs (every FILE of a test file is read, even for a test it skips:
# the PWG raster samples only go to printers of their resolution, which these 203 dpi models are not).
"$fixtures" png 500 700 "$work/label.png"
"$fixtures" jpeg 500 700 "$work/label.jpg"
"$fixtures" pdf 288 432 2 "$work/label.pdf"
tests=$work/ipptool
mkdir -p "$tests"
cp "$suite"/ipp-1.1.test "$suite"/ipp-2.0.test "$suite"/ipp-everywhere.test "$suite"/print-job-and-wait.test "$tests/"
# Jobs here are done in a fraction of a second: the copies ask for a job's state every 0.1 s
# instead of ipptool's 5 s between repeats. The tests themselves are CUPS' unchanged.
sed -i 's/^\([[:space:]]*\)\(.*REPEAT-NO-MATCH.*\)$/\1DELAY "0,0.1"\n\1\2/' "$tests"/*.test
grep -ho '^\s*FILE [^$][^ ]*' "$tests"/*.test | awk '{print $2}' | sort -u | while read -r f; do
  mkdir -p "$tests/$(dirname "$f")"
  case "$f" in
    *letter*.pdf) "$fixtures" pdf 612 792 1 "$tests/$f" ;;
    *.pdf) "$fixtures" pdf 595 842 1 "$tests/$f" ;;
    *.ps) "$fixtures" ps "$tests/$f" ;;
    *.jpg) "$fixtures" jpeg 1200 800 "$tests/$f" ;;
    *) : >"$tests/$f" ;;  # PWG raster samples of resolutions these printers do not have: never sent
  esac
done

failed=0
check() {  # what, command...
  local what=$1
  shift
  if "$@" >"$work/out.txt" 2>&1; then
    echo "ok    $what"
  else
    echo "FAIL  $what"
    sed 's/^/      /' "$work/out.txt" | tail -30
    failed=1
  fi
}

# One document over IPP, then the same through lbl print: the same bytes, readable by lbl view.
same_bytes() {  # name model language paper file
  local name=$1 model=$2 language=$3 paper=$4 file=$5
  local out=$work/$name.prn ref=$work/$name.ref
  : >"$out"
  timeout 60 ipptool -q -f "$file" "ipp://localhost:$port/ipp/print/$name" "$tests/print-job-and-wait.test" || return 1
  local deliver=""
  [ "$language" = twl ] && deliver=--deliver
  "$lbl" print --model "$model" --language "$language" --paper "$paper" --doc-name "$(basename "$file")" $deliver \
    -o "$ref" "$file" >/dev/null || return 1
  cmp "$out" "$ref" || return 1
  "$lbl" view --language "$language" -o "$work/view" "$out" | tail -2
}

start_server
for p in "${printers[@]}"; do
  IFS='|' read -r name model language paper <<<"$p"
  for doc in label.png label.jpg label.pdf; do
    # TWL pages carry a counter that runs on for the server's life: each TWL job starts afresh,
    # as a new lbl print does.
    if [ "$language" = twl ]; then stop_server; start_server; fi
    check "$name: $doc over IPP is what lbl print makes of it" same_bytes "$name" "$model" "$language" "$paper" "$work/$doc"
  done
done
for p in "${printers[@]}"; do
  IFS='|' read -r name model language paper <<<"$p"
  for t in ipp-everywhere.test ipp-2.0.test; do
    check "$name ($model): $t" timeout 180 ipptool -t -f "$work/label.png" "ipp://localhost:$port/ipp/print/$name" "$tests/$t"
  done
done
# A stock added to a printer with lbl is offered over IPP by the running server.
offered() {  # printer x-dimension y-dimension (hundredths of a millimetre)
  ipptool -tv "ipp://localhost:$port/ipp/print/$1" "$suite/get-printer-attributes.test" 2>&1 |
    grep '^ *media-col-database ' | grep -q "x-dimension=$2 y-dimension=$3"
}
stock_offered() {
  if offered tspl 7700 3300; then echo "offered before it was added"; return 1; fi
  "$lbl" stock add --printer tspl --name Odd --width 77 --length 33 || return 1
  for _ in $(seq 100); do
    if offered tspl 7700 3300; then return 0; fi
    sleep 0.1
  done
  echo "not offered after 10 s"
  return 1
}
check "tspl: a stock added with lbl stock add --printer is in media-col-database" stock_offered
stop_server
((stuck == 0)) || failed=1
exit $failed
