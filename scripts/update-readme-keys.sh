#!/usr/bin/env bash
# Puts the help's table of keys (written by the language test into the build folder) into
# the README between its markers. Run the tests first: ./scripts/test.sh or ctest.
set -euo pipefail
cd "$(dirname "$0")/.."
table=build/tests/keys-table.md
[ -f "$table" ] || { echo "no $table: the README's table is current, or the tests did not run"; exit 1; }
python3 - "$table" <<'PY'
import sys
table = open(sys.argv[1], encoding='utf-8').read()
text = open('README.md', encoding='utf-8').read()
begin, end = '<!-- keys table: begin -->\n', '<!-- keys table: end -->'
a = text.index(begin) + len(begin)
b = text.index(end)
open('README.md', 'w', encoding='utf-8').write(text[:a] + table + text[b:])
PY
rm "$table"
echo "README.md: table of keys updated"
