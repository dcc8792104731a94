#!/usr/bin/env bash
# Installs what is missing (Debian 12, as root), builds everything and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh test
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVASK_BUILD_TESTS=ON -DVASK_BUILD_BENCH=ON
cmake --build build
cd build
QT_QPA_PLATFORM=offscreen ctest --output-on-failure --timeout 600 -j2
