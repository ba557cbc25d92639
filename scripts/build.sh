#!/usr/bin/env bash
# Configures and builds everything into build/ (program, tests, benchmark).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=ON > /dev/null
cmake --build build --parallel "$(nproc)"
