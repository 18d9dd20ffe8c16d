#!/usr/bin/env bash
# Runs a Windows program of this build under the build's private Wine prefix. CTest uses it as
# the cross-compiling emulator; the prefix is found beside the CMakeCache.txt above the program.
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/wine-prefix.sh"

program=$1
shift
build_dir=$(build_dir_of "$program") || exit 2

wine_prefix_setup "$build_dir"
wine_server_ensure
exec "$WINELOADER" "$program" "$@"
