#!/bin/sh
# Regenerates data/eco_lines.txt, src/book/advice_table.cpp and
# data/kestrion.pbk. Needs a built kestrion-tool; the extract step needs
# Debian's scid-data package (apt-get install -y scid-data).
# Both outputs depend on the engine's hash keys: rerun after changing them.
set -e
TOOL=${TOOL:-build/kestrion-tool}
ECO=${ECO:-/usr/share/scid/data/scid.eco}
if [ -f "$ECO" ]; then
    "$TOOL" advicegen extract "$ECO" data/eco_lines.txt
fi
"$TOOL" advicegen build data/eco_lines.txt src/book/advice_table.cpp data/kestrion.pbk
