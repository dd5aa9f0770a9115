#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need.
# Idempotent: when everything is already there it prints nothing and asks apt nothing.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  nlohmann-json3-dev libdeflate-dev
  chromium-headless-shell fonts-dejavu-core
)
if [[ "${VEMO_WITH_CLANG:-0}" == 1 ]]; then
  packages+=(clang libclang-rt-14-dev)
fi

source "$(dirname "$0")/lib/apt.sh"
install_missing_packages "${packages[@]}"
