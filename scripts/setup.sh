#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing need.
# Only missing packages are installed; apt-get update runs once, and only
# when something is missing.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config clang-format
  libgtest-dev libgmock-dev libbenchmark-dev
  libcurl4-openssl-dev libpng-dev libjpeg62-turbo-dev libgif-dev zlib1g-dev
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libcpp-httplib-dev
  fonts-wqy-microhei
  xvfb xauth xdg-utils curl imagemagick
)

missing=()
for p in "${PACKAGES[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done

if ((${#missing[@]})); then
  SUDO=""
  if [[ $(id -u) -ne 0 ]]; then SUDO="sudo"; fi
  echo "setup: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
