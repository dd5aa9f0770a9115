#!/usr/bin/env bash
# The one test command: installs what is missing, builds, runs every test:
#  1. the Linux build and its tests; the end-to-end tests with the real engine
#     (label "engine") run one at a time after the rest, since each starts a
#     whole headless Chromium;
#  2. the Windows build, cross-compiled with mingw-w64, its tests under Wine
#     (skipped with VEMO_SKIP_WINDOWS=1).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
build=${VEMO_BUILD_DIR:-$root/build}
"$root/scripts/build.sh" "$build"
status=0
(cd "$build" && ctest --output-on-failure -j"$(nproc)" --timeout 300 -LE engine) || status=1
(cd "$build" && ctest --output-on-failure -j1 --timeout 300 -L engine) || status=1
if [[ "${VEMO_SKIP_WINDOWS:-0}" != 1 ]]; then
  "$root/scripts/test-windows.sh" || status=1
fi
exit $status
