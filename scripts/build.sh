#!/usr/bin/env bash
# Builds the three builds: native Linux (tests, the ztx tool), Windows x86-64
# (tested under Wine) and Windows 32-bit (the applier we ship; never run here).
# With arguments, builds only the presets named: scripts/build.sh native win64
set -euo pipefail
cd "$(dirname "$0")/.."
presets=("$@")
[ ${#presets[@]} -gt 0 ] || presets=(native win64 win32)
for preset in "${presets[@]}"; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done
