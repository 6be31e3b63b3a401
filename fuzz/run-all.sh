#!/usr/bin/env bash
# Builds the fuzz targets with clang and runs each for the given seconds, two at a time.
# Usage: fuzz/run-all.sh <seconds> [target...]   (targets: the *_fuzzer names without the suffix)
# New corpus entries go to build-fuzz/corpus/<target>, findings to build-fuzz/artifacts/<target>/,
# each run's log to build-fuzz/logs/<target>.log.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:?usage: fuzz/run-all.sh <seconds> [target...]}"
shift
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(message config template election_files nodelist_index userlist)
command -v clang++ >/dev/null 2>&1 || { echo "clang++ is needed: apt-get install clang libclang-rt-14-dev" >&2; exit 1; }
cmake --preset fuzz >/dev/null
cmake --build build-fuzz -j2 >/dev/null

# The targets work in directories of their own under this one (libFuzzer's ending skips their
# clean-up); it goes when the run ends.
base="${TMPDIR:-/tmp}"
[ -n "${TMPDIR:-}" ] || [ ! -w /dev/shm ] || base=/dev/shm  # in memory: the targets write files per input
scratch="$(mktemp -d "$base/kelvanoth-fuzz-run.XXXXXX")"
trap 'rm -rf "$scratch"' EXIT

run_one() {
  local t="$1" top="$PWD"  # absolute paths: the targets work in a directory of their own
  mkdir -p "build-fuzz/corpus/$t" "build-fuzz/artifacts/$t" build-fuzz/logs
  TMPDIR="$scratch" "$top/build-fuzz/bin/${t}_fuzzer" "$top/build-fuzz/corpus/$t" "$top/fuzz/corpus/$t" -max_total_time="$seconds" \
    -timeout=10 -rss_limit_mb=2048 -max_len=70000 -print_final_stats=1 \
    -artifact_prefix="$top/build-fuzz/artifacts/$t/" >"build-fuzz/logs/$t.log" 2>&1
}

status=0
running=0
for t in "${targets[@]}"; do
  run_one "$t" &
  running=$((running + 1))
  if [ "$running" -ge 2 ]; then
    wait -n || status=1
    running=$((running - 1))
  fi
done
while [ "$running" -gt 0 ]; do
  wait -n || status=1
  running=$((running - 1))
done
for t in "${targets[@]}"; do
  printf '%-16s ' "$t"
  grep -E 'stat::number_of_executed_units|stat::average_exec_per_sec' "build-fuzz/logs/$t.log" | awk '{printf "%s ", $0}'
  ls "build-fuzz/artifacts/$t" | head -3 | tr '\n' ' '
  echo
done
exit "$status"
