#!/usr/bin/env bash
# Builds Veltrane.exe and runs it under Wine (with a private prefix in the build folder).
# Arguments are passed to the program, e.g. a serial file to open.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$root/scripts/wine-prefix.sh"

bash "$root/scripts/install-deps.sh"

windows="$root/build/windows"
mkdir -p "$root/build"
cmake -S "$root" -B "$windows" -Wno-dev -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
    >"$windows.configure.log" 2>&1 || { cat "$windows.configure.log"; exit 1; }
cmake --build "$windows" -j "$(nproc)" --target Veltrane
wine_prefix_setup "$windows"

if [[ -z "${DISPLAY:-}" ]]; then
    # No desktop here: run on a virtual display so the program still starts.
    display_file=$(mktemp)
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$display_file" 2>/dev/null &
    for _ in $(seq 100); do [[ -s "$display_file" ]] && break; sleep 0.1; done
    export DISPLAY=":$(cat "$display_file")"
    echo "No DISPLAY set: running on the virtual display $DISPLAY."
fi
echo "Running $windows/Veltrane.exe"
exec "$WINELOADER" "$windows/Veltrane.exe" "$@"
