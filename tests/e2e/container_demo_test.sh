#!/usr/bin/env bash
# A real patch executable under Wine: the 64-bit applier with patch data appended
# by the native ztx finds and unpacks its own data, and a description in Big5
# comes out intact. Then the bare applier, with no data, refuses with exit 255.
set -euo pipefail
ztx=$1 applier=$2
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

printf '\xa7\xb9\xb2\xa6 \xb3\x5c\xa5\x5c' > "$work/desc.big5"  # 完畢 許功
"$ztx" pack --stub "$applier" --description-file "$work/desc.big5" -o "$work/patch.exe" >/dev/null
out=$("$root/scripts/wine-run.sh" "$work/patch.exe" | tr -d '\r')
echo "$out"
grep -q '^完畢 許功$' <<<"$out" || { echo "description not shown intact"; exit 1; }
grep -q '^script size: 9 bytes$' <<<"$out" || { echo "wrong script size"; exit 1; }

cp "$applier" "$work/plain.exe"
set +e
"$root/scripts/wine-run.sh" "$work/plain.exe" >/dev/null 2>&1
rc=$?
set -e
[ "$rc" -eq 255 ] || { echo "a program without patch data exited $rc, not 255"; exit 1; }
echo "container demo under Wine: ok"
