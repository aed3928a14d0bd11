#!/usr/bin/env bash
# Decoder throughput and peak memory at 1, 64 and 512 MiB against a plain copy of
# the same output, and the cost of flushing staged files. Not part of the tests.
# Usage: bench/decode_bench.sh [WORK_FOLDER]   (needs about 3 GB of disk)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/build.sh" native >/dev/null
bench=$root/build/native/bench/decode_bench
work=${1:-$(mktemp -d)}
mkdir -p "$work"
for run in "1" "64" "512" "64 short" "512 short"; do
  set -- $run
  mib=$1 mix=${2:-}
  dir=$work/$mib$mix
  mkdir -p "$dir"
  echo "== $mib MiB ${mix:-long} copies =="
  "$bench" prepare "$mib" "$dir" $mix
  sync
  "$bench" decode "$dir"
  cmp "$dir/output" "$dir/expected"
  rm -f "$dir/copy"
  start=$(date +%s.%N)
  cp "$dir/expected" "$dir/copy"
  end=$(date +%s.%N)
  echo "cp of the same output: $(echo "$end - $start" | bc) s"
  rm -rf "$dir"
done
mkdir -p "$work/flush"
"$bench" flush 1000 8 "$work/flush"
rm -rf "$work/flush"
