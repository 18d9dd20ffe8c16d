#!/usr/bin/env bash
# Runs a Windows test program under the build's Wine prefix with two pseudo-terminal pairs mapped
# into the prefix: the program opens COM5, its test device COM6; a test that sits between two
# ports (a monitor) has a second pair, COM7 and COM8. CTest uses it for SERIAL_PAIR test binaries;
# the program's exit status is passed on. A test may end a pair and have a new one made
# (VELTRANE_TEST_PAIR_RESTART, below).
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
socat_pids=("" "")
program_pid=""
# Each pair's two ends in the prefix.
pair_ports=("com5 com6" "com7 com8")
cleanup() {
    if [[ -n "$program_pid" ]]; then
        kill "$program_pid" 2>/dev/null
        wait "$program_pid" 2>/dev/null
    fi
    local pid name
    for pid in "${socat_pids[@]}"; do
        [[ -n "$pid" ]] || continue
        kill "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
    done
    # Only our own mapping: a link that points elsewhere belongs to someone else.
    for name in ${pair_ports[*]}; do
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

start_pair() {  # <pair: 0 or 1>
    local pair=$1 first="$pair_dir/tty${1}a" second="$pair_dir/tty${1}b" pid
    rm -f "$first" "$second"
    socat "pty,raw,echo=0,link=$first" "pty,raw,echo=0,link=$second" \
        </dev/null >/dev/null 2>"$pair_dir/socat$pair.log" &
    pid=$!
    socat_pids[pair]=$pid

    for _ in $(seq 500); do
        if [[ -e "$first" && -e "$second" ]]; then
            local names=(${pair_ports[pair]})
            ln -sfn "$first" "$dosdevices/${names[0]}"
            ln -sfn "$second" "$dosdevices/${names[1]}"
            return 0
        fi
        if ! kill -0 "$pid" 2>/dev/null; then
            echo "socat ended before making the pseudo-terminals:" >&2
            cat "$pair_dir/socat$pair.log" >&2
            socat_pids[pair]=""
            return 1
        fi
        sleep 0.01
    done
    echo "socat made no pseudo-terminals within 5 s" >&2
    return 1
}

end_pair() {  # <pair: 0 or 1>
    local pair=$1 name
    if [[ -n "${socat_pids[pair]}" ]]; then
        kill "${socat_pids[pair]}" 2>/dev/null
        wait "${socat_pids[pair]}" 2>/dev/null
        socat_pids[pair]=""
    fi
    for name in ${pair_ports[pair]}; do rm -f "$dosdevices/$name"; done
}

start_pair 0 || exit 2
start_pair 1 || exit 2

# A test ends a pair's far end (the device goes away) by creating its file: the pair ends, which
# hangs up both ports that are open, and a new one takes its place for the tests after it. The
# file goes once the new pair is there. The same file name ending in .away ends the pair and
# takes its names out of the prefix (an adapter unplugged) until the plain file brings it back.
restart_requests=("$pair_dir/restart0" "$pair_dir/restart1")
in_prefix() { local path=${1//\//\\}; printf 'Z:%s' "$path"; }

# In the background so that a signal to this script is handled at once, not after the program.
VELTRANE_TEST_PORT=COM5 VELTRANE_TEST_DEVICE_PORT=COM6 \
    VELTRANE_TEST_PAIR_RESTART="$(in_prefix "${restart_requests[0]}")" \
    VELTRANE_TEST_PORT2=COM7 VELTRANE_TEST_DEVICE_PORT2=COM8 \
    VELTRANE_TEST_PAIR_RESTART2="$(in_prefix "${restart_requests[1]}")" \
    "$WINELOADER" "$program" "$@" &
program_pid=$!
while kill -0 "$program_pid" 2>/dev/null; do
    for pair in 0 1; do
        if [[ -e "${restart_requests[pair]}.away" ]]; then
            end_pair "$pair"
            rm -f "${restart_requests[pair]}.away"
        fi
        [[ -e "${restart_requests[pair]}" ]] || continue
        end_pair "$pair"
        start_pair "$pair" || exit 2
        rm -f "${restart_requests[pair]}"
    done
    sleep 0.05
done
wait "$program_pid"
status=$?
program_pid=""
exit $status
