#!/usr/bin/env bash
# Installs what the Windows cross build and its test run need from Debian's
# packages: the mingw-w64 cross compiler (posix threads variant) and Wine.
# Idempotent: when everything is already there it prints nothing and asks apt nothing.
set -euo pipefail

packages=(g++-mingw-w64-x86-64 wine64 wine)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

sudo=""
[[ $(id -u) -ne 0 ]] && sudo="sudo"
echo "installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
# Without recommends: they would pull in dozens of desktop packages nobody needs here.
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
