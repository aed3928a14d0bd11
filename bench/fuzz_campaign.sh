#!/usr/bin/env bash
# A long fuzzing campaign over every harness (or the ones named), one after
# another, each with several jobs in parallel. Corpora grow in
# build/fuzz/campaign/<target>/ and survive between campaigns; crashes land in
# build/fuzz/campaign/<target>-crashes/. Copy a crash into fuzz/regressions/<target>/
# with a line in fuzz/regressions/README.md once it is fixed.
#   bench/fuzz_campaign.sh [-t SECONDS_PER_TARGET] [-j JOBS] [TARGET ...]
# Defaults: 3600 s per target, as many jobs as processors.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=3600
jobs="$(nproc)"
while getopts "t:j:" opt; do
  case "$opt" in
    t) seconds="$OPTARG" ;;
    j) jobs="$OPTARG" ;;
    *) echo "usage: $0 [-t SECONDS] [-j JOBS] [TARGET ...]" >&2; exit 1 ;;
  esac
done
shift $((OPTIND - 1))
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(container extract records delta registry apply names)

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
out=build/fuzz
"$out/fuzz/fuzz_make_seeds" "$out/seeds"
# In memory where there is a tmpfs: the harnesses write files at every run.
scratch="$(mktemp -d -p /dev/shm 2>/dev/null || mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
export TMPDIR="$scratch"

status=0
for t in "${targets[@]}"; do
  corpus="$out/campaign/$t"
  crashes="$out/campaign/$t-crashes"
  logs="$out/campaign/$t-logs"
  mkdir -p "$corpus" "$crashes" "$logs"
  inputs=("$corpus" "$out/seeds/$t")
  [ -d "fuzz/regressions/$t" ] && inputs+=("fuzz/regressions/$t")
  echo "== $t: $seconds s, $jobs jobs"
  # Each job is its own process with its own scratch folder below TMPDIR.
  (cd "$logs" && "$OLDPWD/$out/fuzz/fuzz_$t" -jobs="$jobs" -workers="$jobs" -max_total_time="$seconds" \
      -timeout=20 -rss_limit_mb=2048 -max_len=8192 -print_final_stats=1 \
      -artifact_prefix="$OLDPWD/$crashes/" "${inputs[@]/#/$OLDPWD/}") || status=1
  runs=$(cat "$logs"/fuzz-*.log 2>/dev/null | grep -o 'stat::number_of_executed_units: *[0-9]*' |
         grep -o '[0-9]*$' | awk '{s += $1} END {print s}' || true)
  echo "== $t: ${runs:-?} runs; crashes: $(ls "$crashes" | wc -l)"
done
exit "$status"
