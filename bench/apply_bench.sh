#!/usr/bin/env bash
# Whole-apply time and peak memory of `ztx apply` on a patch of 1 000 small files
# and on one of a few large files, beside `cp -r` of the new tree in the same run.
# Not part of the tests. Usage: bench/apply_bench.sh [WORK_FOLDER]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/build.sh" native win64 >/dev/null
ztx=$root/build/native/ztx
applier=$root/build/win64/ztxapply.exe
work=${1:-$(mktemp -d)}
rm -rf "$work"
mkdir -p "$work"

python3 - "$work" <<'PY'
import os, random, sys
work = sys.argv[1]
r = random.Random(1)
def tree(name, files):
    for rel, old, new in files:
        for side, data in (("old", old), ("new", new)):
            p = os.path.join(work, name, side, rel)
            os.makedirs(os.path.dirname(p), exist_ok=True)
            open(p, "wb").write(data)
small = []
for i in range(1000):
    old = r.randbytes(r.randrange(1024, 16384))
    cut = r.randrange(len(old))
    new = old[:cut] + r.randbytes(r.randrange(1, 64)) + old[cut + 10:]
    small.append((f"d{i % 20}/f{i}.bin", old, new))
tree("small", small)
large = []
for i in range(3):
    old = r.randbytes(64 << 20)
    cut = r.randrange(len(old) - 4096)
    new = old[:cut] + r.randbytes(4096) + old[cut + 4096:]
    large.append((f"big{i}.dat", old, new))
tree("large", large)
PY

for set in small large; do
  dir=$work/$set
  echo "== $set =="
  "$ztx" make --old "$dir/old" --new "$dir/new" --applier "$applier" -o "$dir/patch.exe" | tail -1
  cp -r "$dir/old" "$dir/target"
  sync
  /usr/bin/time -f "ztx apply: %e s, peak RSS %M KiB" "$ztx" apply "$dir/patch.exe" --target "$dir/target" >/dev/null
  diff -r --exclude=BACKUP "$dir/new" "$dir/target" >/dev/null && echo "result identical to the new tree"
  sync
  /usr/bin/time -f "cp -r of the new tree: %e s, peak RSS %M KiB" cp -r "$dir/new" "$dir/copy"
done
rm -rf "$work"
