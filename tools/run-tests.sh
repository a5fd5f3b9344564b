#!/usr/bin/env bash
# Installs what is missing, then builds and tests every preset: linux (tests), mingw64 (cross build
# of the Windows binaries), linux-asan (tests under AddressSanitizer and UBSan).
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh

step() { printf '\n==== %s ====\n' "$*"; }

step "linux: configure and build"
cmake --preset linux >/dev/null
cmake --build --preset linux
step "linux: tests"
ctest --preset linux

step "mingw64: cross build"
cmake --preset mingw64 >/dev/null
cmake --build --preset mingw64

step "linux-asan: configure and build"
cmake --preset linux-asan >/dev/null
cmake --build --preset linux-asan
step "linux-asan: tests"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ctest --preset linux-asan
