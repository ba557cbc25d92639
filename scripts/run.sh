#!/usr/bin/env bash
# Installs what is missing, builds the program alone and starts it, saying what it does and
# how far the build is (the whole log only when something fails); a picture or a folder given
# here is opened: ./scripts/run.sh PICTURE
set -euo pipefail
cd "$(dirname "$0")/.."
echo "Velmora: checking the packages it needs..."
scripts/deps.sh
log=$(mktemp)
trap 'rm -f "$log"' EXIT
echo "Velmora: configuring the build (build/)..."
if ! cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo > "$log" 2>&1; then
    cat "$log"
    exit 1
fi
echo "Velmora: building; the first build takes a few minutes..."
# make prints "[ 42%] Building ..." for each step: those lines alone tell the progress.
if ! cmake --build build --target velmora --parallel "$(nproc)" 2>&1 | tee "$log" |
    { grep --line-buffered -oE '^\[ *[0-9]+%\] [A-Za-z]+ [^ ]+( [^ ]+)?' || true; }; then
    cat "$log"
    exit 1
fi
rm -f "$log"
trap - EXIT
echo "Velmora: starting build/velmora $*"
exec build/velmora "$@"
