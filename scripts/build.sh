#!/usr/bin/env bash
# Configures and builds everything into ./build (Release, Ninja).
set -euo pipefail
cd "$(dirname "$0")/.."
# Compiler cache entries name paths relative to the checkout, so another clone reuses them.
export CCACHE_BASEDIR="$PWD"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
ninja -C build
