#!/usr/bin/env bash
# Real patch executables under Wine: the 64-bit applier with patch data that the
# native `ztx make` appended applies itself to a folder, byte for byte, and its
# Big5 log names a Big5 file correctly; a second run finds everything up to date;
# a folder without a known version fails with message 33 and is left as it was;
# the bare applier, with no patch data, exits with 255.
set -euo pipefail
ztx=$1 applier=$2
root=$(cd "$(dirname "$0")/../.." && pwd)
wine=$root/scripts/wine-run.sh
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAILED: $*"; exit 1; }

mkdir -p "$work/old/sub" "$work/new/sub"
printf 'first version of the program\n' > "$work/old/app.txt"
printf 'second version of the program, longer\n' > "$work/new/app.txt"
printf 'same' > "$work/old/sub/same.txt"
printf 'same' > "$work/new/sub/same.txt"
printf 'added in version two\n' > "$work/new/sub/新檔.txt"
"$ztx" make --old "$work/old" --new "$work/new" --applier "$applier" -o "$work/patch.exe" \
  --description "測試" >/dev/null

cp -r "$work/old" "$work/target"
set +e
out=$(cd "$work" && "$wine" patch.exe target | tr -d '\r')
rc=$?
set -e
echo "$out"
[ "$rc" -eq 0 ] || fail "apply exited with $rc"
diff -r --exclude=BACKUP "$work/new" "$work/target" || fail "target differs from the new version"
grep -q '「sub\\新檔.txt」' <<<"$out" || fail "the Big5 file name is not in the log"
[ -f "$work/target/BACKUP/app.txt" ] || fail "the old file is not in the backup folder"

out=$(cd "$work" && "$wine" patch.exe target | tr -d '\r')
grep -q '檔案早就已經更新了' <<<"$out" || fail "a second run does not find the files up to date"

mkdir -p "$work/other"
printf 'unknown version' > "$work/other/app.txt"
set +e
(cd "$work" && "$wine" patch.exe other >/dev/null)
rc=$?
set -e
[ "$rc" -eq 33 ] || fail "a folder without a known version gave $rc, not 33"
[ "$(cat "$work/other/app.txt")" = "unknown version" ] || fail "the unknown file was changed"
[ ! -e "$work/other/PATCH0.TMP" ] || fail "the staging folder was left behind"

cp "$applier" "$work/plain.exe"
set +e
"$wine" "$work/plain.exe" >/dev/null 2>&1
rc=$?
set -e
[ "$rc" -eq 255 ] || fail "a program without patch data exited $rc, not 255"
echo "end to end under Wine: ok"
