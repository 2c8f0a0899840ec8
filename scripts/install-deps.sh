#!/usr/bin/env bash
# Installs the Debian 12 packages the build, the tests and the program need; only what is
# missing, and through sudo when not run as root.
set -euo pipefail

packages=(
    cmake ninja-build g++ pkg-config clang-format
    qt6-base-dev qt6-serialport-dev qt6-qpa-plugins libqt6sql6-sqlite
    qt6-charts-dev libqt6opengl6-dev libqt6sql6-psql postgresql libpq-dev openssl qcoro-qt6-dev
    libusb-1.0-0-dev umockdev libumockdev-dev libgtest-dev libgmock-dev libbenchmark-dev
    poppler-utils
    dpkg-dev desktop-file-utils appstream file lintian
    clang libclang-rt-14-dev
    fonts-noto-mono fonts-liberation2 stress-ng
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

as_root=()
if [ "$(id -u)" -ne 0 ]; then
    as_root=(sudo)
fi
echo "Installing: ${missing[*]}"
"${as_root[@]}" apt-get update
DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
