#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, but only those missing,
# so a machine that already has them does no network work.
set -euo pipefail

PACKAGES=(
  cmake g++ make pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  zlib1g-dev libcurl4-openssl-dev
  libcpp-httplib-dev nlohmann-json3-dev curl openssl time python3
  clang libclang-rt-14-dev
)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq </dev/null
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" </dev/null
fi
