#!/usr/bin/env bash
# The one test command: installs what is missing, builds, runs every test.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
build=${VEMO_BUILD_DIR:-$root/build}
"$root/scripts/build.sh" "$build"
cd "$build"
ctest --output-on-failure -j"$(nproc)" --timeout 300
