#!/usr/bin/env bash
# Applies a one-file patch to sparse files of 1 MiB, 100 MiB, 1 GiB and
# 2^31-1 bytes (the largest the format holds) with `ztx apply`: time and peak
# memory of each, and the result compared with cmp. Not part of the tests.
# Usage: bench/sparse_bench.sh [WORK_FOLDER]   (needs about 4.5 GB of disk)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/build.sh" native >/dev/null
ztx=$root/build/native/ztx
bench=$root/build/native/bench/sparse_bench
work=${1:-$(mktemp -d)}
for size in 1048576 104857600 1073741824 2147483647; do
  dir=$work/$size
  rm -rf "$dir"
  mkdir -p "$dir/old" "$dir/new"
  "$bench" prepare "$size" "$dir"
  cp --sparse=always -r "$dir/old" "$dir/target"
  sync
  echo "== $size bytes =="
  /usr/bin/time -f "ztx apply: %e s, peak RSS %M KiB" "$ztx" apply "$dir/patch.ztx" --target "$dir/target" | tail -1
  cmp "$dir/target/big.bin" "$dir/new/big.bin" && echo "identical to the new file"
  rm -rf "$dir"
done
