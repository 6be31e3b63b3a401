#!/usr/bin/env bash
# Builds everything from scratch and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
# First the quick checks, with clang: the programs, benchmarks and fuzz targets built with any warning
# an error; clang-tidy over the product code with the project's .clang-tidy, any finding an error; and
# the fuzz targets run once over their corpora.  The tests are built with GCC below.
rm -rf build-clang
cmake --preset clang-check
cmake --build build-clang -j"$(nproc)"
bash tools/run-clang-tidy.sh build-clang
bash fuzz/replay.sh build-clang
rm -rf build
cmake -S . -B build
cmake --build build -j"$(nproc)"
ctest --test-dir build --output-on-failure -j"$(nproc)"
# The same tests again with the programs and the tests built under AddressSanitizer and
# UndefinedBehaviorSanitizer: any report fails the run.
rm -rf build-asan
cmake -S . -B build-asan -DSANITIZE=ON -DKELVANOTH_BUILD_BENCH=OFF
cmake --build build-asan -j"$(nproc)"
ctest --test-dir build-asan --output-on-failure -j"$(nproc)"
