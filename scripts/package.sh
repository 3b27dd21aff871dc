#!/usr/bin/env bash
# Builds the Debian package (build/package/quorvanta_<version>_<arch>.deb) with CPack: the
# release build, installed for /usr. Its Depends come from the linked shared libraries
# (dpkg-shlibdeps, from dpkg-dev) plus the Qt platform plugins.
# Install with `sudo apt install ./build/package/quorvanta_*.deb`, remove with
# `sudo apt remove quorvanta`.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
scripts/build.sh
cpack --config build/CPackConfig.cmake
ls build/package/*.deb
