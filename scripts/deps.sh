#!/usr/bin/env bash
# Installs the Debian packages needed to build, test, fuzz and benchmark Quorvanta (only missing
# ones). clang with libclang-rt-dev brings libFuzzer for scripts/fuzz.sh.
set -euo pipefail
PKGS=(cmake ninja-build g++ ccache qt6-base-dev qt6-base-dev-tools libgl-dev libgtest-dev
      nginx-light curl aria2 axel xvfb xauth imagemagick clang-format adwaita-icon-theme
      libqt6svg6 time dnsmasq-base python3-aiosmtpd qt6-webengine-dev zlib1g-dev liblzma-dev
      chromium libssl-dev firefox-esr desktop-file-utils appstream dpkg-dev
      nodejs dbus-daemon openssl ca-certificates xdotool libxcb1-dev
      clang libclang-rt-dev openbox x11-utils)
missing=()
for p in "${PKGS[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
    SUDO=""
    [ "$(id -u)" -ne 0 ] && SUDO="sudo"
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
# The movie player's web files come from npm; Debian's nodejs ships npm as a package of its own.
if ! command -v npm >/dev/null; then
    SUDO=""
    [ "$(id -u)" -ne 0 ] && SUDO="sudo"
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends npm
fi
