#!/usr/bin/env bash
# Screenshots (PNG) of the applier's window under Wine on a virtual display:
# with and without a description, after success and after failure.
# Usage: scripts/screenshots.sh [OUTPUT_FOLDER]   (default: build/screenshots)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh --if-missing
command -v import >/dev/null || apt-get install -y -qq imagemagick >/dev/null
scripts/build.sh native win64 >/dev/null
out=$(realpath -m "${1:-build/screenshots}")
work=$(mktemp -d)
trap 'rm -rf "$work"; kill "$xvfb" 2>/dev/null || true' EXIT
mkdir -p "$out"
export DISPLAY=:77
Xvfb "$DISPLAY" -screen 0 800x600x24 >/dev/null 2>&1 &
xvfb=$!
sleep 1

build/native/ztx make --old demo/old --new demo/new --applier build/win64/ztxapply.exe \
  --description "$(cat demo/description.txt)" -o "$work/described.exe" >/dev/null
build/native/ztx make --old demo/old --new demo/new --applier build/win64/ztxapply.exe \
  -o "$work/plain.exe" >/dev/null
cp build/win64/tests/window_driver.exe "$work/"

# Runs a driver scenario that pauses 8 s at the end of each run, and takes the
# picture during the first pause.
take() {  # SCENARIO PATCH TARGET... NAME
  local name=${!#}
  (cd "$work" && ZTX_DRIVER_PAUSE_MS=8000 "$OLDPWD/scripts/wine-run.sh" window_driver.exe "${@:1:$#-1}" >/dev/null 2>&1) &
  local driver=$!
  sleep 7
  import -window root "$out/$name.png"
  wait "$driver" || true
  echo "$out/$name.png"
}
cp -r demo/old "$work/t1"; take success described.exe t1 success-described
cp -r demo/old "$work/t2"; take success plain.exe t2 success-plain
mkdir -p "$work/empty" "$work/t3"; cp -r demo/old/. "$work/t3/"
take retry described.exe empty t3 failure-then-retry
