#!/usr/bin/env bash
# Installs what is missing, then builds and tests every preset: linux (tests), mingw64 and mingw32
# (cross builds of the Windows binaries, checked for exports, imports, resources, manifests and
# hardening; mingw64 also assembles the driver package and signs a copy of it with a test certificate;
# the x86_64 build also runs real jobs under Wine, tools/wine-check.sh), linux-asan
# (tests under AddressSanitizer and UBSan), linux-tsan (the monitor and parallel-printer tests under ThreadSanitizer).
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh

# Each step's start time and the seconds since the run began, to see where CI time goes.
step() { printf '\n==== %s [%s, +%ds] ====\n' "$*" "$(date -u +%H:%M:%S)" "$SECONDS"; }
jobs=$(nproc)

step "linux: configure and build"
cmake --preset linux >/dev/null
cmake --build --preset linux -j "$jobs"
step "linux: tests"
ctest --preset linux -j "$jobs"

for preset in mingw64:x86_64-w64-mingw32 mingw32:i686-w64-mingw32; do
  name=${preset%%:*}
  triplet=${preset#*:}
  step "$name: cross build and binary check"
  cmake --preset "$name" >/dev/null
  cmake --build --preset "$name" -j "$jobs"
  # The driver package of both architectures (it builds the mingw32 binaries it needs), checked with the
  # x86_64 binaries: its files, debug files and a test signing.
  [ "$name" != mingw64 ] || cmake --build --preset mingw64 --target package
  tools/check-windows.sh "build/$name" "$triplet"
done

step "mingw64 under Wine: jobs through lbldrv6 compared with the linux build, lblmon through its MONITOR2 table"
tools/wine-check.sh build/mingw64 build/linux || { echo "FAILED: the Wine check (see the step above)" >&2; exit 1; }

step "linux-asan: configure and build"
cmake --preset linux-asan >/dev/null
cmake --build --preset linux-asan -j "$jobs"
step "linux-asan: tests"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --preset linux-asan -j "$jobs"

step "linux-tsan: build, the monitor's tests (threads of the spooler and the delivery thread), two printers rendered at once, the discovery threads, the simulated sockets, the wizard's work thread and the firmware transfer thread"
cmake --preset linux-tsan >/dev/null
# Only the test programs the filter below selects (and the modules they load) are built.
tsan_targets=(monitor_tests driver_tests installer_tests winsim_tests ui_tests lbldrv6 lbldrv6ui lblmon)
cmake --build --preset linux-tsan -j "$jobs" --target "${tsan_targets[@]}"
TSAN_OPTIONS=halt_on_error=1 ctest --preset linux-tsan -j "$jobs" -R '^(monitor_tests\.|driver_tests\.LibraryRobustnessTest\.ParallelPrinters|installer_tests\.(Engine|NetworkDiscovery\.|Rediscovery\.|Wizard(Pages|Runs)\.)|winsim_tests\.SimulatedNetwork\.|ui_tests\.Firmware\.(SetUpdateMode|AWholeUpdate|PrinterFaults|ClosingTheSheet|AFileThePrinterRefuses|OneTransferAtATime|TwoQueuesOfOnePort|TheFileIsReadOnce))'
step "done"
