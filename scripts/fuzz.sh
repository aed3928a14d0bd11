#!/usr/bin/env bash
# Builds the fuzz harnesses (preset "fuzz": clang, libFuzzer, ASan, UBSan),
# replays every seed and every regression input in fuzz/regressions/<target>/,
# then fuzzes each target for a short fixed time. Fails on any crash, leak,
# timeout or sanitizer report.
#   scripts/fuzz.sh [SECONDS_PER_TARGET]   (default 15)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-15}"
targets=(container extract records delta registry apply names)

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
out=build/fuzz
bin="$out/fuzz"
rm -rf "$out/seeds"
"$bin/fuzz_make_seeds" "$out/seeds"

# Each run gets its own temporary folder; the harnesses make theirs below it.
# In memory where there is a tmpfs: the harnesses write files at every run.
scratch="$(mktemp -d -p /dev/shm 2>/dev/null || mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
export TMPDIR="$scratch"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
options=(-timeout=20 -rss_limit_mb=2048 -max_len=8192 -print_final_stats=1)

for t in "${targets[@]}"; do
  mkdir -p "$out/corpus/$t" "$out/artifacts/$t"
  inputs=("$out/seeds/$t")
  [ -d "fuzz/regressions/$t" ] && inputs+=("fuzz/regressions/$t")
  echo "== $t: replaying ${inputs[*]}"
  "$bin/fuzz_$t" "${options[@]}" -runs=0 "${inputs[@]}" 2>"$out/artifacts/$t/replay.log" ||
    { cat "$out/artifacts/$t/replay.log"; echo "fuzz: $t fails on a kept input" >&2; exit 1; }
done

for t in "${targets[@]}"; do
  inputs=("$out/corpus/$t" "$out/seeds/$t")
  [ -d "fuzz/regressions/$t" ] && inputs+=("fuzz/regressions/$t")
  log="$out/artifacts/$t/fuzz.log"
  if ! "$bin/fuzz_$t" "${options[@]}" -max_total_time="$seconds" \
       -artifact_prefix="$out/artifacts/$t/" "${inputs[@]}" 2>"$log"; then
    tail -n 60 "$log"
    echo "fuzz: $t failed; the input is in $out/artifacts/$t/" >&2
    exit 1
  fi
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || true)
  runs="${runs:-0}"
  echo "== $t: $runs runs in ${seconds} s, $((runs / seconds)) per second"
done
