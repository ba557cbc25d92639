#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test; prints CTest's summary.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
scripts/build.sh
cd build
ctest --output-on-failure --timeout 600
