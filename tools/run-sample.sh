#!/usr/bin/env bash
# Builds from scratch and runs the sample election of examples/election from start to end in a
# scratch directory: the valid addresses list made from the userlist, the announcement, the scan
# of a dozen inbound ballots, the reports, and the poster's packets and schedule.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$(pwd)
bash tools/install-deps.sh
rm -rf build
cmake -S . -B build
cmake --build build -j"$(nproc)"
work=$(mktemp -d "${TMPDIR:-/tmp}/sample-election.XXXXXX")
bash tools/sample-road.sh "$repo/build/bin" "$work"
