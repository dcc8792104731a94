#!/usr/bin/env bash
# Installs what is missing (Debian 12, as root), builds Vask and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh run
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVASK_BUILD_TESTS=OFF -DVASK_BUILD_BENCH=OFF
cmake --build build --target vask
exec ./build/app/vask "$@"
