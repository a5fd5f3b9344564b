#!/usr/bin/env bash
# Installs what is missing, builds the Linux preset and runs the main job on the embedded default printer.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
cmake --preset linux >/dev/null
cmake --build --preset linux
lbl=build/linux/tools/lbl
echo "== model record of the embedded default printer =="
"$lbl" model
echo "== default settings =="
"$lbl" defaults
