#!/usr/bin/env bash
# Installs the build tools, GoogleTest and clang's tools on a Debian machine where they are missing.
set -euo pipefail
missing=()
command -v cmake >/dev/null 2>&1 || missing+=(cmake)
command -v g++ >/dev/null 2>&1 || missing+=(g++)
dpkg -s libgtest-dev >/dev/null 2>&1 || [ -f /usr/include/gtest/gtest.h ] || missing+=(libgtest-dev)
# The test run's second build, its static checks and its fuzz targets: clang with its libFuzzer runtime.
command -v clang++ >/dev/null 2>&1 || missing+=(clang)
command -v clang-tidy >/dev/null 2>&1 || missing+=(clang-tidy)
find /usr/lib/llvm-*/lib/clang -name 'libclang_rt.fuzzer*.a' 2>/dev/null | grep -q . || missing+=(libclang-rt-dev)
# The Debian package: cpack needs dpkg-deb, and dpkg-shlibdeps for its dependencies.
command -v dpkg-shlibdeps >/dev/null 2>&1 || missing+=(dpkg-dev)
# The tosser that the interoperability tests use as a peer; its tests are skipped when it cannot be had.
optional=()
command -v crashmail >/dev/null 2>&1 || optional+=(crashmail)
# The package's lint; the package test leaves it out without it.
command -v lintian >/dev/null 2>&1 || optional+=(lintian)
# The mailer of the two-node network test; a daemon, so /usr/sbin is looked at beside PATH.
command -v binkd >/dev/null 2>&1 || [ -x /usr/sbin/binkd ] || optional+=(binkd)
[ ${#missing[@]} -eq 0 ] && [ ${#optional[@]} -eq 0 ] && exit 0
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
$sudo apt-get update -q || [ ${#missing[@]} -eq 0 ]
[ ${#missing[@]} -eq 0 ] || $sudo apt-get install -y "${missing[@]}"
[ ${#optional[@]} -eq 0 ] || $sudo apt-get install -y "${optional[@]}" ||
  echo "install-deps: ${optional[*]} could not be installed; the tests that use them will be skipped." >&2
# Debian starts a freshly installed binkd as a system mailer listening on every address; the tests
# run their own on loopback, so one installed here for them is not left serving.
if [[ " ${optional[*]} " == *" binkd "* ]] && command -v systemctl >/dev/null 2>&1; then
  $sudo systemctl disable --now binkd.service >/dev/null 2>&1 || true
fi
