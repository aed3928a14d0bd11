#!/usr/bin/env bash
# Runs a Windows program under Wine: the project's own prefix, no debug noise,
# and the Traditional Chinese locale, so that the ANSI code page is 950 (Big5).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
export WINEPREFIX="${ZTX_WINEPREFIX:-$root/build/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
export LANG=zh_TW.UTF-8 LC_ALL=zh_TW.UTF-8
# No Mono or Gecko installer prompts when the prefix is made.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
mkdir -p "$WINEPREFIX"
# Windows programs with a window need an X display: a virtual one when there is none.
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1024x768x24" /usr/lib/wine/wine64 "$@"
fi
exec /usr/lib/wine/wine64 "$@"
