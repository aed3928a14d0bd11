#!/usr/bin/env bash
# The applier as a user meets it, under Wine on a virtual display: real patch
# executables made by the native `ztx make`, driven through their window by
# window_driver.exe (another Win32 program reading the log, pressing buttons and
# answering boxes). Checks exit codes and the files on disk.
set -euo pipefail
ztx=$1 applier=$2 driver=$3
root=$(cd "$(dirname "$0")/../.." && pwd)
wine=$root/scripts/wine-run.sh
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAILED: $*"; exit 1; }
cp "$driver" "$work/driver.exe"
cd "$work"
run() { echo "== $*"; "$wine" driver.exe "$@" | tr -d '\r'; }

mkdir -p old/sub new/sub
printf 'first version of the program\n' > old/app.txt
printf 'second version of the program, longer\n' > new/app.txt
printf 'same' > old/sub/same.txt
printf 'same' > new/sub/same.txt
printf 'added in version two\n' > new/sub/新檔.txt
"$ztx" make --old old --new new --applier "$applier" -o patch.exe --description "測試說明" >/dev/null

# The first run succeeds by itself; a second run finds everything up to date.
cp -r old target
out=$(run success patch.exe target)
echo "$out"
diff -r --exclude=BACKUP new target || fail "the target is not the new version"
grep -q '「sub\\新檔.txt」' <<<"$out" || fail "the Big5 file name is not in the log as it should read"
[ -f target/BACKUP/app.txt ] || fail "the old file is not in the backup folder"
out=$(run success patch.exe target)
grep -q '檔案早就已經更新了' <<<"$out" || fail "the second run does not find the files up to date"

# A signed patch (the signature behind the patch data) still finds its data.
openssl req -x509 -newkey rsa:2048 -nodes -keyout key.pem -out cert.pem -days 2 -subj "/CN=ztx test" 2>/dev/null
osslsigncode sign -certs cert.pem -key key.pem -in patch.exe -out signed.exe >/dev/null
osslsigncode verify -CAfile cert.pem signed.exe >/dev/null 2>&1 || fail "the signature does not verify"
cp -r old signed-target
run success signed.exe signed-target >/dev/null
diff -r --exclude=BACKUP new signed-target || fail "the signed patch did not apply"

# A folder without a known version fails (33); another folder typed in succeeds.
mkdir -p other && printf 'unknown version' > other/app.txt
cp -r old good
run retry patch.exe other good
[ "$(cat other/app.txt)" = "unknown version" ] || fail "the unknown file was changed"
[ ! -e other/PATCH0.TMP ] || fail "the failed run left its staging folder"
diff -r --exclude=BACKUP new good || fail "the retried folder is not the new version"

# A file in use: the restart question, answered No; the new version waits.
cp -r old busy
run in-use patch.exe busy 'busy\app.txt'
[ "$(cat busy/app.txt)" = "first version of the program" ] || fail "the file in use was replaced"
[ -f busy/PATCH0.TMP/app.txt ] || fail "the new version does not wait in the staging folder"

# Closing during a long run: confirmed, the run stops with 13 and the old files
# are all still there; the window then closes.
mkdir -p bigold bignew
python3 - <<'PY'
import random
r = random.Random(9)
for i in range(3):
    data = bytearray(r.randbytes(24 << 20))
    open(f"bigold/f{i}.bin", "wb").write(data)
    data[12 << 20: (12 << 20) + 16] = b"changed version!"
    open(f"bignew/f{i}.bin", "wb").write(data)
PY
"$ztx" make --old bigold --new bignew --applier "$applier" -o big.exe >/dev/null
cp -r bigold bigtarget
run cancel big.exe bigtarget
for i in 0 1 2; do cmp -s bigold/f$i.bin bigtarget/f$i.bin || fail "f$i.bin is not the old file after the cancel"; done
[ ! -e bigtarget/PATCH0.TMP ] || fail "the cancelled run left its staging folder"

# Boxes before any window: usage (-h, a surplus argument) and no patch data.
run box patch.exe 1 -h
run box patch.exe 1 one two
cp "$applier" plain.exe
run box plain.exe 255
echo "window end to end under Wine: ok"
