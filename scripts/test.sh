#!/usr/bin/env bash
# The one test command: installs what is missing, builds, runs every test.
# The end-to-end tests with the real engine (label "engine") run one at a
# time after the rest: each starts a whole headless Chromium.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
build=${VEMO_BUILD_DIR:-$root/build}
"$root/scripts/build.sh" "$build"
cd "$build"
status=0
ctest --output-on-failure -j"$(nproc)" --timeout 300 -LE engine || status=1
ctest --output-on-failure -j1 --timeout 300 -L engine || status=1
exit $status
