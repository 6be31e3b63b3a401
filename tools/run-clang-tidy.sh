#!/usr/bin/env bash
# clang-tidy with the project's .clang-tidy over the product code (common/, korva/, nuvrel/, lisdor/),
# a file per core at a time; any finding fails the run.
# Usage: tools/run-clang-tidy.sh [build-dir]   (a configured build: its compile_commands.json is read;
# default build-clang, as `cmake --preset clang-check` makes it)
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build-clang}"
[ -f "$build/compile_commands.json" ] || { echo "run-clang-tidy: no $build/compile_commands.json; configure first" >&2; exit 2; }
log="$build/clang-tidy.log"
status=0
ls common/*.cc korva/*.cc nuvrel/*.cc lisdor/*.cc |
  xargs -P "$(nproc)" -n 4 clang-tidy -p "$build" --quiet --warnings-as-errors='*' >"$log" 2>&1 || status=$?
findings=$(grep -cE '(warning|error): .*\[[a-z0-9.,-]+\]$' "$log" || true)
if [ "$status" -ne 0 ] || [ "$findings" -ne 0 ]; then
  grep -E '\[[a-z0-9.,-]+\]$' "$log" >&2 || cat "$log" >&2
  echo "clang-tidy: $findings finding(s)" >&2
  exit 1
fi
echo "clang-tidy: no findings in $(ls common/*.cc korva/*.cc nuvrel/*.cc lisdor/*.cc | wc -l) files"
