#!/usr/bin/env bash
# Installs the build tools and GoogleTest on a Debian machine where they are missing.
set -euo pipefail
missing=()
command -v cmake >/dev/null 2>&1 || missing+=(cmake)
command -v g++ >/dev/null 2>&1 || missing+=(g++)
dpkg -s libgtest-dev >/dev/null 2>&1 || [ -f /usr/include/gtest/gtest.h ] || missing+=(libgtest-dev)
[ ${#missing[@]} -eq 0 ] && exit 0
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
$sudo apt-get update -q
$sudo apt-get install -y "${missing[@]}"
