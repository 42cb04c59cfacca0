#!/usr/bin/env bash
# Registers a built Korvel with the current user's desktop: a menu entry, the
# NZB file type and Korvel as the program that opens ".nzb" files. Opening an
# NZB file then hands it to the running Korvel (or starts it).
# Usage: packaging/register-desktop.sh [path to the korvel executable]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
exe="$(readlink -f "${1:-$here/../build/bin/korvel}")"
[ -x "$exe" ] || { echo "No executable at $exe (build first: ./scripts/build.sh)" >&2; exit 1; }
data="${XDG_DATA_HOME:-$HOME/.local/share}"
mkdir -p "$data/applications" "$data/mime/packages" "$data/icons/hicolor/128x128/apps"
sed "s|@KORVEL_EXEC@|\"$exe\"|" "$here/korvel.desktop.in" > "$data/applications/korvel.desktop"
cp "$here/korvel-nzb.xml" "$data/mime/packages/korvel-nzb.xml"
cp "$here/korvel.png" "$data/icons/hicolor/128x128/apps/korvel.png"
command -v update-mime-database >/dev/null && update-mime-database "$data/mime" || true
command -v update-desktop-database >/dev/null && update-desktop-database "$data/applications" || true
command -v xdg-mime >/dev/null && xdg-mime default korvel.desktop application/x-nzb || true
echo "Korvel registered for application/x-nzb ($exe)"
