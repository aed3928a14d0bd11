#!/usr/bin/env bash
# The demo: builds a patch executable from the Windows applier and a demo
# description, reads it back with `ztx info`, then runs the patch executable
# itself under Wine, where it opens its own appended data.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh --if-missing
scripts/build.sh native win64 >/dev/null
out=build/demo
mkdir -p "$out"
iconv -f UTF-8 -t CP950 demo/description.txt > "$out/description.big5"
build/native/ztx pack --stub build/win64/ztxapply.exe --description-file "$out/description.big5" \
  -o "$out/demo-patch.exe"
echo
echo "== ztx info (native) =="
build/native/ztx info "$out/demo-patch.exe"
echo
echo "== the patch executable under Wine =="
scripts/wine-run.sh "$out/demo-patch.exe"
