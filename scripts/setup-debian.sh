#!/usr/bin/env bash
# Installs everything the build, the tools and the tests need on Debian 12. Runs as root (or through sudo).
set -euo pipefail

packages=(
    build-essential cmake pkg-config git ccache
    juce-modules-source
    libgtest-dev libgmock-dev libbenchmark-dev
    libasound2-dev libjack-jackd2-dev libfreetype-dev libfontconfig1-dev
    libx11-dev libxcomposite-dev libxcursor-dev libxext-dev libxinerama-dev libxrandr-dev libxrender-dev
    libgl1-mesa-dev
    xvfb xauth x11-utils
    clang-14 libclang-rt-14-dev llvm-14 clang-format
    lilv-utils lv2-dev liblilv-dev
)

as_root=()
if [ "$(id -u)" -ne 0 ]; then
    as_root=(sudo)
fi

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ "${#missing[@]}" -eq 0 ]; then
    echo "setup: all packages present"
    exit 0
fi

echo "setup: installing ${missing[*]}"
"${as_root[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
