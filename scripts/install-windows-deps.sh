#!/usr/bin/env bash
# Installs what the Windows cross build and its test run need from Debian's
# packages: the mingw-w64 cross compiler (posix threads variant) and Wine.
# Idempotent: when everything is already there it prints nothing and asks apt nothing.
set -euo pipefail

packages=(g++-mingw-w64-x86-64 wine64 wine)

source "$(dirname "$0")/lib/apt.sh"
install_missing_packages "${packages[@]}"
