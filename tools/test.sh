#!/usr/bin/env bash
# The whole test suite: installs what is missing, checks the product code with
# cppcheck, builds with the windows-x64 preset and runs every test under Wine
# (ctest starts and stops Wine and Xvfb), then runs the native sanitizer build:
# the pure functions' unit tests and a short run of every fuzz target.
# EV_FUZZ_SECONDS sets the length of each fuzz run (60 by default).
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash tools/setup-machine.sh || exit 1
failed=""
bash tools/static-check.sh || failed="$failed static"
if cmake --preset windows-x64 && cmake --build --preset windows-x64; then
  ctest --preset windows-x64 "$@" || failed="$failed windows"
else
  failed="$failed windows-build"
fi
if cmake -S tests/native -B build/native -DCMAKE_CXX_COMPILER=clang++ \
         -DEV_FUZZ_SECONDS="${EV_FUZZ_SECONDS:-60}" >/dev/null && cmake --build build/native -j2; then
  ctest --test-dir build/native --output-on-failure -j2 || failed="$failed native"
else
  failed="$failed native-build"
fi
if [ -n "$failed" ]; then
  echo "tests: FAILED:$failed"
  exit 1
fi
echo "tests: all passed"
