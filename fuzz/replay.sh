#!/usr/bin/env bash
# Runs every fuzz target once over each input of its corpus under fuzz/corpus/, no fuzzing: a fault
# any of them brings back fails the run.  Quick enough for every test run.
# Usage: fuzz/replay.sh [build-dir]   (a FUZZ=ON build, default build-fuzz: `cmake --preset fuzz`)
set -euo pipefail
cd "$(dirname "$0")/.."
top="$PWD"
build="$top/${1:-build-fuzz}"
targets=(message config template election_files nodelist_index userlist)

# The targets make their working directories under TMPDIR; this one goes when the run ends.
scratch="$(mktemp -d "${TMPDIR:-/tmp}/kelvanoth-fuzz-replay.XXXXXX")"
trap 'rm -rf "$scratch"' EXIT

status=0
for t in "${targets[@]}"; do
  log="$scratch/$t.log"
  if TMPDIR="$scratch" "$build/bin/${t}_fuzzer" -runs=0 -timeout=10 -rss_limit_mb=2048 "$top/fuzz/corpus/$t" >"$log" 2>&1; then
    echo "fuzz replay: $t: $(find "fuzz/corpus/$t" -type f | wc -l) inputs, no fault"
  else
    cat "$log" >&2
    echo "fuzz replay: $t: FAILED" >&2
    status=1
  fi
done
exit "$status"
