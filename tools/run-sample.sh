#!/usr/bin/env bash
# Builds from scratch and runs the converter over the bundled sample userlist.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
rm -rf build
cmake -S . -B build
cmake --build build -j"$(nproc)"
work=$(mktemp -d)
cp examples/userlist/golded.lst "$work/"
build/bin/Lisdor32 "$work/golded.lst" "$work/valid.lst" -addr
echo "--- $work/valid.lst:"
cat "$work/valid.lst"
