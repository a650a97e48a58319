#!/usr/bin/env bash
# Packs a release: Setup built with a real payload from the port's checkouts
# and tools, reproducible, and signed when asked.
#   bash tools/pack.sh --project DIR --toolkit DIR --tools DIR --out DIR
#                      [--sign PFX --sign-pass-file FILE] [--timestamp URL]
# Exit code 0 when --out holds project.zip, toolkit.zip, manifest.txt,
# toolchain.zip and EmberveilSetup.exe; otherwise one line says why, and a
# refused payload leaves --out as it was. See tools/pack/pack.py.
set -u
here=$(cd "$(dirname "$0")" && pwd)
command -v python3 >/dev/null 2>&1 || { echo "pack: python3 is missing; bash tools/setup-machine.sh installs it" >&2; exit 1; }
exec python3 "$here/pack/pack.py" "$@"
