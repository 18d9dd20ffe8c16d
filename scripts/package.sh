#!/usr/bin/env bash
# Makes a release package in build/packages/:
#   bash scripts/package.sh deb   the native veltrane-cli as a Debian package
#   bash scripts/package.sh zip   the Windows build: Veltrane.exe, veltrane-cli.exe, the manual
# Each is built in a release configuration of its own, without sanitizers or tests.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

case "${1:-}" in
    deb) dir="$root/build/package-native"; targets=(veltrane-cli veltrane-cli-manpage); generator=DEB
         toolchain=() ;;
    zip) dir="$root/build/package-windows"; targets=(Veltrane veltrane-cli); generator=ZIP
         toolchain=(-DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake") ;;
    *) echo "usage: $0 deb|zip" >&2; exit 2 ;;
esac

bash "$root/scripts/install-deps.sh"
# The logs lie beside the build folder, which a fresh clone does not have yet.
mkdir -p "$dir"
cmake -S "$root" -B "$dir" -Wno-dev -DCMAKE_BUILD_TYPE=Release -DVELTRANE_TESTS=OFF \
    "${toolchain[@]}" >"$dir.configure.log" 2>&1 || { cat "$dir.configure.log"; exit 1; }
cmake --build "$dir" -j "$(nproc)" --target "${targets[@]}"
(cd "$dir" && cpack -G "$generator" -B "$root/build/packages" >"$dir.cpack.log" 2>&1) ||
    { cat "$dir.cpack.log"; exit 1; }
find "$root/build/packages" -maxdepth 1 -type f -newer "$dir.configure.log" -printf '%p\n'
