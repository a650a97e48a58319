#!/usr/bin/env bash
# cppcheck over the product code with the project's options (tests/static/cppcheck.cfg).
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
mapfile -t opts < <(grep -v '^#' "$root/tests/static/cppcheck.cfg")
cppcheck -q "${opts[@]}" -I "$root/installer" "$root/installer"
echo "static check: clean"
