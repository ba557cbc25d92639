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
# make prints "[ 42%] Building CXX object .../atomicfile.cpp.o" for each step: shown as
# "[ 42%] atomicfile.cpp", they tell the progress without the noise.
if ! cmake --build build --target velmora --parallel "$(nproc)" 2>&1 | tee "$log" |
    sed -u -n -E 's#^(\[ *[0-9]+%\]) (Building CXX object|Linking CXX [a-z ]+) (.*/)?([^/ ]+)$#\1 \4#p' |
    sed -u -E 's#\.o$##'; then
    cat "$log"
    exit 1
fi
rm -f "$log"
trap - EXIT
echo "Velmora: starting build/velmora $*"
exec build/velmora "$@"
