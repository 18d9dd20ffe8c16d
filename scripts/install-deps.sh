#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need. Quiet and quick when all are there.
set -euo pipefail

packages=(
    cmake make g++ googletest
    g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
    wine wine64 xvfb xauth socat tshark xxd locales
    clang libclang-rt-dev
    dpkg-dev bsdutils ttyrec asciinema
    python3-pymodbus python3-serial python3-serial-asyncio mbpoll umockdev ser2net
)

missing=()
for package in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
    [[ "$status" == "install ok installed" ]] || missing+=("$package")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

if [[ $(id -u) -ne 0 ]]; then
    echo "Missing packages: ${missing[*]}; run this as root to install them." >&2
    exit 1
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
