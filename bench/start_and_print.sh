#!/usr/bin/env bash
# lbl's start and a whole PNG print against the commit before PDF input came (f8e2918), measured side
# by side in one run: that commit is built in a temporary worktree with the same compiler flags, and
# both programs run the same commands in alternation.
#
#   bench/start_and_print.sh [BUILD-DIR] [--runs N] [--base COMMIT] [--keep DIR]
#
# BUILD-DIR (default build/linux) is this tree's Linux build; lbl and the modules it loads are built in
# it first. The base is built in DIR when --keep names one (kept for the next run, which then only
# checks it is up to date), else in a temporary folder removed at the end. Measured:
#   lbl models                                           the start: the catalogue's driver names
#   lbl print --language zpl -o OUT label.png            an 812 x 1218 grey label, end to end
# as instructions (valgrind --tool=callgrind, one run each; the load of the machine does not move them)
# and as wall time (the median and the best of N runs of each, alternating; default 21: on a shared
# machine the median moves with the load, the best much less). The print of this tree runs
# on a state folder of its own, made by a first print that is not counted, as a user's machine would be;
# and once more on a machine where a printer was installed (lbl install registers the language monitor,
# whose day log on drive C: then grows with every print, so every print saves the machine).
# Goals: lbl models at most 1.3 times the base's, the print at most 0.6 times.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=$here/build/linux runs=21 base=f8e2918 keep=
while (($#)); do
  case $1 in
    --runs) runs=$2; shift 2 ;;
    --base) base=$2; shift 2 ;;
    --keep) keep=$2; shift 2 ;;
    -*) echo "usage: $0 [BUILD-DIR] [--runs N] [--base COMMIT] [--keep DIR]" >&2; exit 2 ;;
    *) build=$(cd "$1" && pwd); shift ;;
  esac
done
command -v python3 >/dev/null || { echo "$0 needs python3 (the label picture and the timing)" >&2; exit 2; }

work=$(mktemp -d)
cleanup() {
  if [[ -z $keep && -d $work/base ]]; then git -C "$here" worktree remove --force "$work/base" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

echo "== this tree: lbl and its modules in $build"
cmake --build "$build" --target lbl lblpdf lblpng lbljpeg >/dev/null
now=$build/tools/lbl

src=${keep:-$work/base}
if [[ ! -d $src ]]; then
  echo "== $base in a worktree at $src"
  git -C "$here" worktree add --detach "$src" "$base" >/dev/null
fi
echo "== $base: configure and build lbl (the same flags as this tree's preset)"
cmake -S "$src" -B "$src/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF \
  "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG" "-DCMAKE_C_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG" >/dev/null
cmake --build "$src/build" --target lbl >/dev/null
old=$src/build/tools/lbl

# An 812 x 1218 grey label (4 x 6 inches at 203 dpi): a grey ramp, text-like bars and a frame.
python3 - "$work/label.png" <<'PY'
import struct, sys, zlib
w, h = 812, 1218
rows = []
for y in range(h):
    r = bytearray([0])
    for x in range(w):
        if x < 8 or y < 8 or x >= w - 8 or y >= h - 8: v = 0
        elif 100 < y < 400 and 40 < x < 770: v = (x * 3 + y) % 256
        elif 500 < y < 1100 and (y // 28) % 2 == 0 and (x * 7 + y // 28 * 13) % 23 < 15: v = 20
        else: v = 255
        r.append(v)
    rows.append(bytes(r))
def chunk(t, d): return struct.pack('>I', len(d)) + t + d + struct.pack('>I', zlib.crc32(t + d) & 0xffffffff)
png = b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', w, h, 8, 0, 0, 0, 0)) + \
      chunk(b'IDAT', zlib.compress(b''.join(rows), 6)) + chunk(b'IEND', b'')
open(sys.argv[1], 'wb').write(png)
PY
LBL_STATE_DIR=$work/installed "$now" install --model "Tarnwell TW-JA" --port FILE: --printer Shelf >/dev/null
LBL_STATE_DIR=$work/installed "$now" print --language zpl -o "$work/now.zpl" "$work/label.png" >/dev/null
export LBL_STATE_DIR=$work/state
"$now" print --language zpl -o "$work/now.zpl" "$work/label.png" >/dev/null  # the state folder, made once
"$old" print --language zpl -o "$work/old.zpl" "$work/label.png" >/dev/null
cmp -s "$work/now.zpl" "$work/old.zpl" && same="the same bytes" || same="other bytes"
echo "== both printed the label ($same)"

python3 - "$old" "$now" "$work" "$runs" "$base" <<'PY'
import os, re, statistics, subprocess, sys, time
old, now, work, runs, base = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4]), sys.argv[5]
label, out = os.path.join(work, 'label.png'), os.path.join(work, 'out.zpl')
printing = ['print', '--language', 'zpl', '-o', out, label]
installed = {'LBL_STATE_DIR': os.path.join(work, 'installed')}
cases = [('lbl models', ['models'], 1.3, {}), ('lbl print of a PNG label', printing, 0.6, {}),
         ('the print, a printer installed', printing, 0.6, installed)]

def instructions(exe, args, env):
    try:
        r = subprocess.run(['valgrind', '--tool=callgrind', '--callgrind-out-file=/dev/null', exe] + args,
                           stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True, env={**os.environ, **env})
    except FileNotFoundError:
        return None
    m = re.search(r'Collected : (\d+)', r.stderr)
    return int(m.group(1)) if m else None

def wall(exe, args, env):
    t = time.perf_counter()
    subprocess.run([exe] + args, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True, env={**os.environ, **env})
    return (time.perf_counter() - t) * 1000

print(f'| {"measure":<56} | {base:>10} | {"now":>10} | {"now / " + base:>14} | goal   |')
print(f'|{"-" * 58}|{"-" * 12}|{"-" * 12}|{"-" * 16}|--------|')
for name, args, goal, env in cases:
    a, b = instructions(old, args, env), instructions(now, args, env)
    if a and b:
        print(f'| {name + ", instructions (M)":<56} | {a / 1e6:>10.1f} | {b / 1e6:>10.1f} | {b / a:>14.2f} | <= {goal} |')
    times = {old: [], now: []}
    for i in range(runs):
        for exe in ((old, now) if i % 2 == 0 else (now, old)):
            times[exe].append(wall(exe, args, env))
    ma, mb = statistics.median(times[old]), statistics.median(times[now])
    print(f'| {name + f", median of {runs} runs (ms)":<56} | {ma:>10.1f} | {mb:>10.1f} | {mb / ma:>14.2f} | <= {goal} |')
    ba, bb = min(times[old]), min(times[now])
    print(f'| {name + f", best of {runs} runs (ms)":<56} | {ba:>10.1f} | {bb:>10.1f} | {bb / ba:>14.2f} | <= {goal} |')
print(f'\nload average while measuring: {os.getloadavg()[0]:.1f} {os.getloadavg()[1]:.1f} {os.getloadavg()[2]:.1f}')
PY
