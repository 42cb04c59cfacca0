#!/usr/bin/env bash
# Configures and builds Korvel into build/ (Ninja, RelWithDebInfo).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING="${BUILD_TESTING:-ON}" >/dev/null
cmake --build build "$@"
