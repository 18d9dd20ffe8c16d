#!/usr/bin/env bash
# Runs a Windows test program under the build's Wine prefix with a pseudo-terminal pair mapped
# into the prefix: the program opens COM5, its test device COM6. CTest uses it for SERIAL_PAIR
# test binaries; the program's exit status is passed on. A test may end the pair and have a new
# one made (VELTRANE_TEST_PAIR_RESTART, below).
# Usage: with-serial-pair.sh <program.exe> [arguments...]
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/wine-prefix.sh"

[[ $# -ge 1 ]] || { echo "usage: $0 <program.exe> [arguments...]" >&2; exit 2; }
program=$1
shift
build_dir=$(build_dir_of "$program") || exit 2

wine_prefix_setup "$build_dir"
wine_server_ensure
dosdevices="$WINEPREFIX/dosdevices"

pair_dir=$(mktemp -d "${TMPDIR:-/tmp}/veltrane-pair.XXXXXX") || exit 2
socat_pid=""
program_pid=""
cleanup() {
    if [[ -n "$program_pid" ]]; then
        kill "$program_pid" 2>/dev/null
        wait "$program_pid" 2>/dev/null
    fi
    if [[ -n "$socat_pid" ]]; then
        kill "$socat_pid" 2>/dev/null
        wait "$socat_pid" 2>/dev/null
    fi
    # Only our own mapping: a link that points elsewhere belongs to someone else.
    local name
    for name in com5 com6; do
        if [[ "$(readlink "$dosdevices/$name" 2>/dev/null)" == "$pair_dir"/* ]]; then
            rm -f "$dosdevices/$name"
        fi
    done
    rm -rf "$pair_dir"
}
trap cleanup EXIT
trap 'exit 129' HUP
trap 'exit 130' INT
trap 'exit 143' TERM

start_pair() {
    rm -f "$pair_dir/ttyA" "$pair_dir/ttyB"
    socat "pty,raw,echo=0,link=$pair_dir/ttyA" "pty,raw,echo=0,link=$pair_dir/ttyB" \
        </dev/null >/dev/null 2>"$pair_dir/socat.log" &
    socat_pid=$!

    for _ in $(seq 500); do
        [[ -e "$pair_dir/ttyA" && -e "$pair_dir/ttyB" ]] && return 0
        if ! kill -0 "$socat_pid" 2>/dev/null; then
            echo "socat ended before making the pseudo-terminals:" >&2
            cat "$pair_dir/socat.log" >&2
            socat_pid=""
            return 1
        fi
        sleep 0.01
    done
    echo "socat made no pseudo-terminals within 5 s" >&2
    return 1
}

start_pair || exit 2
ln -sfn "$pair_dir/ttyA" "$dosdevices/com5"
ln -sfn "$pair_dir/ttyB" "$dosdevices/com6"

# A test ends the far end (the device goes away) by creating this file: the pair ends, which
# hangs up both ports that are open, and a new one takes its place for the tests after it. The
# file goes once the new pair is there.
restart_request="$pair_dir/restart"

# In the background so that a signal to this script is handled at once, not after the program.
VELTRANE_TEST_PORT=COM5 VELTRANE_TEST_DEVICE_PORT=COM6 \
    VELTRANE_TEST_PAIR_RESTART="Z:${restart_request//\//\\}" "$WINELOADER" "$program" "$@" &
program_pid=$!
while kill -0 "$program_pid" 2>/dev/null; do
    if [[ -e "$restart_request" ]]; then
        kill "$socat_pid" 2>/dev/null
        wait "$socat_pid" 2>/dev/null
        start_pair || exit 2
        rm -f "$restart_request"
    fi
    sleep 0.05
done
wait "$program_pid"
status=$?
program_pid=""
exit $status
