#!/usr/bin/env bash
# Installs the Debian packages VORNEXA builds and runs with, when any is missing.
set -euo pipefail

# poppler-utils: the tests read printed PDF files back with pdftotext. libqt6opengl6-dev and Mesa's
# drivers: the toolpath view draws with OpenGL; xvfb and xauth: its tests render on a virtual display.
packages=(build-essential cmake qt6-base-dev qt6-base-dev-tools qt6-serialport-dev fonts-dejavu-core poppler-utils
          libqt6opengl6-dev libgl1-mesa-dri libglx-mesa0 xvfb xauth)
if [ "${1:-}" = "--gui" ]; then
    packages+=(qt6-qpa-plugins)
fi

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    sudo=""
    if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
    $sudo apt-get update
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
fi
