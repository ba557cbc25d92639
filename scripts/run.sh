#!/usr/bin/env bash
# Installs what is missing, builds the program alone (quietly, unless something fails) and
# starts it; a picture or a folder given here is opened: ./scripts/run.sh PICTURE
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
log=$(mktemp)
trap 'rm -f "$log"' EXIT
if ! { cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo &&
       cmake --build build --target velmora --parallel "$(nproc)"; } > "$log" 2>&1; then
    cat "$log"
    exit 1
fi
rm -f "$log"
trap - EXIT
exec build/velmora "$@"
