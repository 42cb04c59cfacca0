#!/usr/bin/env bash
# Installs what Korvel needs to build, run and test on Debian 12; quiet and
# quick when everything is already there. Usage: install-deps.sh [--test]
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config ccache git
  qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins libgl1-mesa-dev
  zlib1g-dev libisal-dev libssl-dev libcurl4-openssl-dev libhunspell-dev hunspell-en-us
  fonts-dejavu-core xdg-utils xvfb xauth
)
if [ "${1:-}" = "--test" ]; then
  packages+=(googletest libgtest-dev binutils openssl clang libclang-rt-14-dev)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  SUDO=sudo
else
  SUDO=
fi
echo "Installing: ${missing[*]}"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
