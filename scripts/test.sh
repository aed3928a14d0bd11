#!/usr/bin/env bash
# Runs every test: installs what is missing, builds all three builds, then runs
# the native suite, which also starts the Windows build's tests under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh --if-missing
scripts/build.sh
scripts/check-win32-build.sh build/win32/ztxapply.exe
ctest --test-dir build/native --output-on-failure -j "$(nproc)"
scripts/fuzz.sh
