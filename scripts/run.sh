#!/usr/bin/env bash
# Set-up, build, then start the program (arguments are passed on).
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/build.sh
exec ./build/src/app/midi-sonoret "$@"
