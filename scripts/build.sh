#!/usr/bin/env bash
# Configures and builds Korvel into build/ (Ninja, RelWithDebInfo).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING="${BUILD_TESTING:-ON}" >/dev/null
# AUTOMOC misses Q_OBJECT classes added to an existing target in an incremental
# build; a stale timestamp makes it rescan (about a second).
rm -f build/src/*_autogen/timestamp
cmake --build build "$@"
