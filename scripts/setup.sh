#!/usr/bin/env bash
# Installs every Debian package that building, testing, packaging and
# benchmarking need.
# Runs as root without questions; does nothing when everything is present.
set -euo pipefail

packages=(
  g++ cmake ninja-build pkg-config   # toolchain
  clang libclang-rt-14-dev           # the clang build and the fuzz targets (libFuzzer)
  libxml2-dev                        # XML DOM (a conforming, validating parser)
  libzip-dev zlib1g-dev              # ZIP archives
  libassimp-dev                      # 3D files in, glTF out
  libcairo2-dev                      # pictures: SVG, PNG, PDF
  nlohmann-json3-dev                 # JSON
  libfmt-dev                         # formatting
  libcli11-dev                       # command lines
  libgtest-dev libgmock-dev          # tests
  poppler-utils                      # tests: pdfinfo and pdftotext read the PDF pictures back
  libbenchmark-dev                   # benchmarks
  zip unzip                          # example archives, benchmark baseline
  help2man                           # manual pages, written from the programs' --help
  dpkg-dev file                      # the Debian package: dpkg-shlibdeps computes Depends
  man-db                             # the package check renders the manual pages
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "setup: run as root to install: ${missing[*]}" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
