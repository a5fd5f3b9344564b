#!/usr/bin/env bash
# Submit-to-bytes time of lbl serve: a 4 x 6 inch, 203 dpi PNG label printed as ZPL over IPP, from
# the moment the client sends it to the moment the whole stream is in the printer's file, against
# lbl print of the same PNG with the same settings into a file (its process start included), in the
# same run. Usage: bench/ipp.sh BUILD-DIR [REPS]   (default 20 repetitions; medians are compared)
set -euo pipefail
build=$(cd "${1:?usage: bench/ipp.sh BUILD-DIR [REPS]}" && pwd)
reps=${2:-20}
lbl=$build/tools/lbl
fixtures=$build/tests/ipp/lbl-ipp-fixtures
work=$(mktemp -d)
server=""
trap '[ -n "$server" ] && { kill "$server" 2>/dev/null; wait "$server" 2>/dev/null; }; rm -rf "$work"' EXIT
export LBL_STATE_DIR=$work/state

"$fixtures" png 812 1218 "$work/label.png"
"$lbl" printer add zpl --model "Tarnwell TW-QD" --language zpl --device "file://$work/out.zpl" >/dev/null
: >"$work/out.zpl"
port=$("$fixtures" port)
"$lbl" serve --port "$port" --log "$work/serve.log" 2>>"$work/serve.log" &
server=$!
uri=ipp://localhost:$port/ipp/print/zpl
for _ in $(seq 100); do
  ipptool -q -T 2 "$uri" /usr/share/cups/ipptool/get-printer-attributes.test 2>/dev/null && break
  sleep 0.1
done
cat >"$work/print.test" <<'TEST'
{
  OPERATION Print-Job
  GROUP operation-attributes-tag
  ATTR charset attributes-charset utf-8
  ATTR naturalLanguage attributes-natural-language en
  ATTR uri printer-uri $uri
  ATTR name requesting-user-name bench
  ATTR mimeMediaType document-format image/png
  ATTR name job-name label.png
  GROUP job-attributes-tag
  ATTR keyword media na_index-4x6_4x6in
  FILE $filename
  STATUS successful-ok
}
TEST

now() { date +%s%N; }
"$lbl" print --model "Tarnwell TW-QD" --language zpl --paper "4 x 6" --doc-name label.png -o "$work/ref.zpl" \
  "$work/label.png" >/dev/null
want=$(stat -c %s "$work/ref.zpl")

ipp=() direct=()
for _ in $(seq "$reps"); do
  : >"$work/out.zpl"
  t0=$(now)
  ipptool -q -f "$work/label.png" "$uri" "$work/print.test"
  while [ "$(stat -c %s "$work/out.zpl")" -lt "$want" ]; do sleep 0.001; done
  t1=$(now)
  cmp -s "$work/out.zpl" "$work/ref.zpl" || { echo "bench: the IPP stream differs from lbl print's" >&2; exit 1; }
  ipp+=($(((t1 - t0) / 1000)))

  t0=$(now)
  "$lbl" print --model "Tarnwell TW-QD" --language zpl --paper "4 x 6" --doc-name label.png -o "$work/direct.zpl" \
    "$work/label.png" >/dev/null
  t1=$(now)
  direct+=($(((t1 - t0) / 1000)))
done

median() { printf '%s\n' "$@" | sort -n | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : int((a[NR/2]+a[NR/2+1])/2)}'; }
mi=$(median "${ipp[@]}")
md=$(median "${direct[@]}")
echo "4 x 6 in, 203 dpi PNG as ZPL ($want bytes), $reps runs each, medians:"
printf '| path | submit to bytes |\n|---|---|\n'
printf '| lbl serve over IPP (file device) | %d.%03d ms |\n' $((mi / 1000)) $((mi % 1000))
printf '| lbl print into a file (process included) | %d.%03d ms |\n' $((md / 1000)) $((md % 1000))
awk -v a="$mi" -v b="$md" 'BEGIN { printf "ratio IPP / lbl print: %.2f\n", a / b }'
