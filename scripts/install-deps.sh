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
  # inn2: the private news server of the network tests (tests/servers/inn-server.sh).
  packages+=(googletest libgtest-dev binutils openssl clang libclang-rt-14-dev inn2)
fi

if [ "$(id -u)" -ne 0 ]; then
  SUDO=sudo
else
  SUDO=
fi

is_installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"
}

# inn2's post-install script fails when the host name has no domain, which
# leaves the package half-configured and makes every later apt-get exit 100.
# A domain in inn.conf lets it finish; a working INN is never touched.
finish_inn2() {
  local conf=/etc/news/inn.conf
  dpkg-query -W -f='${Status}' inn2 2>/dev/null | grep -qE "half-configured|unpacked|half-installed|triggers" || return 0
  if [ -f "$conf" ] && ! grep -qE '^domain:[[:space:]]*[^[:space:]]' "$conf"; then
    if grep -qE '^#?[[:space:]]*domain:' "$conf"; then
      $SUDO sed -i -E 's/^#?[[:space:]]*domain:.*/domain: test.invalid/' "$conf"
    else
      echo 'domain: test.invalid' | $SUDO tee -a "$conf" >/dev/null
    fi
  fi
  $SUDO dpkg --configure -a >>"${log:-/dev/null}" 2>&1 || true
}

finish_inn2

missing=()
for p in "${packages[@]}"; do
  is_installed "$p" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

# Installing inn2 would start a news server on all addresses; a policy-rc.d
# that refuses service starts keeps it down (ours is removed afterwards).
policy=/usr/sbin/policy-rc.d
if [[ " ${missing[*]} " == *" inn2 "* ]] && [ ! -e "$policy" ]; then
  printf '#!/bin/sh\nexit 101\n' | $SUDO tee "$policy" >/dev/null
  $SUDO chmod 0755 "$policy"
  trap '$SUDO rm -f "$policy"' EXIT
fi

echo "Installing: ${missing[*]}"
log=$(mktemp)
$SUDO apt-get update -qq
# apt exits 100 while inn2 is half-configured; finish_inn2 completes it.
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >"$log" 2>&1 || true
finish_inn2

for p in "${missing[@]}"; do
  if ! is_installed "$p"; then
    cat "$log" >&2
    echo "install-deps: $p could not be installed" >&2
    exit 1
  fi
done
rm -f "$log"
