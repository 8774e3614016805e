#!/usr/bin/env bash
# Configures and builds the project into ./build (or $BUILD_DIR).
#   BXF_WERROR=ON    warnings are errors
#   BXF_SANITIZE=ON  AddressSanitizer and UndefinedBehaviorSanitizer
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja \
  -DBXF_WERROR="${BXF_WERROR:-OFF}" -DBXF_SANITIZE="${BXF_SANITIZE:-OFF}" \
  -DBXF_BENCH="$([ "${BXF_SANITIZE:-OFF}" = ON ] && echo OFF || echo ON)" >/dev/null
cmake --build "$build" -j2
