#!/usr/bin/env bash
# Scale: 10 000 files in one record group and 127 nested folders. Time and peak
# memory of each.
# Not part of the tests. Usage: bench/scale_bench.sh [WORK_FOLDER]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/build.sh" native win64 >/dev/null
ztx=$root/build/native/ztx
applier=$root/build/win64/ztxapply.exe
work=${1:-$(mktemp -d)}
rm -rf "$work"
mkdir -p "$work"
cd "$work"

echo "== 10 000 files in one group =="
mkdir -p many/old many/new
for i in $(seq 1 10000); do
  d=$((i % 100))
  mkdir -p many/old/d$d many/new/d$d
  printf 'file %d, version one\n' "$i" > many/old/d$d/f$i.txt
  printf 'file %d, version two!\n' "$i" > many/new/d$d/f$i.txt
done
/usr/bin/time -f "ztx make: %e s, peak RSS %M KiB" "$ztx" make --old many/old --new many/new --applier "$applier" -o many.exe | tail -1
cp -r many/old many/target
/usr/bin/time -f "ztx apply: %e s, peak RSS %M KiB" "$ztx" apply many.exe --target many/target | tail -1
diff -r --exclude=BACKUP many/new many/target >/dev/null && echo "identical to the new tree"

echo "== 127 nested folders (the longest name a patch holds: 255 bytes) =="
deep=$(printf 'd/%.0s' $(seq 1 127))
mkdir -p "deep/old/$deep" "deep/new/$deep"
printf 'old' > "deep/old/${deep}f"
printf 'new!' > "deep/new/${deep}f"
"$ztx" make --old deep/old --new deep/new --applier "$applier" -o deep.exe >/dev/null
cp -r deep/old deep/target
/usr/bin/time -f "ztx apply: %e s, peak RSS %M KiB" "$ztx" apply deep.exe --target deep/target | tail -1
cmp "deep/new/${deep}f" "deep/target/${deep}f" && echo "identical"

