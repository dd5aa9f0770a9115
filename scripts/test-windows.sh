#!/usr/bin/env bash
# The Windows test step: installs the cross toolchain and Wine when missing,
# cross-builds the tree for 64-bit Windows, and runs its tests under Wine.
# Usage: scripts/test-windows.sh [build-dir]   (default ./build-win)
#
# One persistent wineserver serves every test (otherwise each test waits for a
# server of its own); it is stopped again however the run ends.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-${VEMO_WIN_BUILD_DIR:-$root/build-win}}
jobs=${VEMO_JOBS:-2}

"$root/scripts/install-windows-deps.sh"

cmake -S "$root" -B "$build" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw64.cmake" -DCMAKE_BUILD_TYPE=Release \
  -DVEMO_BENCH=OFF >/dev/null
cmake --build "$build" -j"$jobs"

prefix=$build/wine-prefix
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY

# The prefix is this build tree's own: a server left over for it from an
# earlier run by hand would keep the persistent one from starting.
mkdir -p "$prefix"
wineserver -k >/dev/null 2>&1 || true
stop_server() { wineserver -k >/dev/null 2>&1 || true; }
trap stop_server EXIT
wineserver -p
# Makes the prefix on the first run, before the tests race to do it.
# Its services outlive it: they must not hold this script's output open.
"$root/scripts/wine-run.sh" "$prefix" cmd /c exit 0 </dev/null >/dev/null 2>&1

cd "$build"
ctest --output-on-failure -j"$jobs" --timeout 300
