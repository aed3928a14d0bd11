#!/usr/bin/env bash
# The demo: makes a patch executable from demo/old and demo/new with `ztx make`,
# shows what it holds, applies it natively with `ztx apply` to a copy of the old
# folder, then runs the patch executable itself (its window) under Wine on
# another copy, and checks both results against demo/new byte for byte.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh --if-missing
scripts/build.sh native win64 >/dev/null
out=build/demo
rm -rf "$out"
mkdir -p "$out"
ztx=build/native/ztx

echo "== ztx make =="
$ztx make --old demo/old --new demo/new --applier build/win64/ztxapply.exe \
  --description "$(cat demo/description.txt)" -o "$out/demo-patch.exe"
echo
echo "== ztx info =="
$ztx info "$out/demo-patch.exe"

echo
echo "== ztx apply (native) =="
cp -r demo/old "$out/native-target"
$ztx apply "$out/demo-patch.exe" --target "$out/native-target"
diff -r --exclude=BACKUP demo/new "$out/native-target"
echo "-> identical to demo/new"

echo
echo "== the patch executable under Wine, on a virtual display =="
echo "(a driver program reads the window's log and presses Exit when the run is done)"
cp -r demo/old "$out/wine-target"
cp build/win64/tests/window_driver.exe "$out/"
(cd "$out" && ../../scripts/wine-run.sh window_driver.exe success demo-patch.exe wine-target 2>/dev/null) | tr -d '\r'
diff -r --exclude=BACKUP demo/new "$out/wine-target"
echo "-> identical to demo/new"
