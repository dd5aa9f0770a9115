#!/usr/bin/env bash
# Runs every benchmark program of a build. Usage: scripts/bench.sh [build-dir] [filter]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
filter=${2:-}
for b in "$build"/bench/*_bench; do
  [[ -x "$b" ]] || continue
  [[ -n "$filter" && "$b" != *"$filter"* ]] && continue
  echo "== $(basename "$b")"
  "$b"
done
