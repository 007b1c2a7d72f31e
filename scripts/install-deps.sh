#!/usr/bin/env bash
# Installs the Debian 12 packages the build and the tests need, skipping the
# ones already present so that a second run costs nothing.
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libgif-dev libspng-dev libpng-dev
  parallel slurm-wlm munge
  xvfb xauth
  clang libclang-rt-14-dev
  dpkg-dev lintian desktop-file-utils appstream man-db groff-base file
  bash-completion git
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
