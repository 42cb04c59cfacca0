#!/usr/bin/env bash
# Draws the README's picture of the main window (docs/main-window.png) and the
# desktop icon (packaging/korvel.png) from the current sources, offscreen.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh --test
./scripts/build.sh --target korvel_screenshot >/dev/null
QT_QPA_PLATFORM=offscreen build/bin/korvel_screenshot docs/main-window.png packaging/korvel.png
