#!/usr/bin/env bash
# Sets up the machine, builds, and runs the main job on the bundled example.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh
build=${BUILD_DIR:-build}
echo "bxf2-import $(cat "$build/VERSION")"
