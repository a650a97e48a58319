#!/usr/bin/env bash
# The whole test suite: installs what is missing, builds with the windows-x64
# preset and runs every test under Wine (ctest starts and stops Wine and Xvfb).
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash tools/setup-machine.sh
cmake --preset windows-x64
cmake --build --preset windows-x64
ctest --preset windows-x64 "$@"
