#!/usr/bin/env bash
# Installs what is missing, builds Korvel Newsreader and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
BUILD_TESTING=OFF ./scripts/build.sh --target korvel
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display found; starting Korvel on a virtual X server (xvfb-run)."
  exec xvfb-run -a build/bin/korvel "$@"
fi
exec build/bin/korvel "$@"
