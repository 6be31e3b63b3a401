#!/usr/bin/env bash
# Builds from scratch and runs the sample election of examples/election from start to end in a
# scratch directory: the valid addresses list made from the userlist, the announcement, the scan
# of a dozen inbound ballots, the reports, the vote base verified against the filed ballots, and
# the poster's packets and schedule.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$(pwd)
bash tools/install-deps.sh
# Only the three programs: the tests and benchmarks are the other command's business.
rm -rf build
cmake -S . -B build -DKELVANOTH_BUILD_TESTS=OFF -DKELVANOTH_BUILD_BENCH=OFF
cmake --build build -j"$(nproc)" --target Korva32 Nuvrel32 Lisdor32
work=$(mktemp -d "${TMPDIR:-/tmp}/sample-election.XXXXXX")
bash tools/sample-road.sh "$repo/build/bin" "$work"
