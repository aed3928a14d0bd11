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
exec /usr/lib/wine/wine64 "$@"
