#!/usr/bin/env bash
# Configures and builds the tree. Usage: scripts/build.sh [build-dir] [extra cmake args...]
# VEMO_SANITIZE=thread (or address,undefined) selects a sanitizer build.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
shift || true
cmake -S "$root" -B "$build" -G Ninja -DVEMO_SANITIZE="${VEMO_SANITIZE:-}" "$@" >/dev/null
cmake --build "$build" -j"$(nproc)"
