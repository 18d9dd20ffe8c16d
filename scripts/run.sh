#!/usr/bin/env bash
# Builds Veltrane.exe and runs it under Wine (with a private prefix in the build folder).
# Arguments are passed to the program, e.g. a serial file to open.
#
# The program's default port is COM1; this maps a Linux serial device into the prefix as COM1:
# VELTRANE_PORT if set (e.g. VELTRANE_PORT=/dev/ttyS1), else the first /dev/ttyUSB* or
# /dev/ttyACM*, else a demo device (scripts/demo-device.sh on a pseudo-terminal pair) that sends
# a line of text once a second and echoes what it receives.
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
com1="$WINEPREFIX/dosdevices/com1"
ports_key='HKLM\Software\Wine\Ports'

xvfb_pid=""
display_file=""
mapped=""
demo_dir=""
socat_pid=""
device_pid=""
program_pid=""
cleanup() {
    if [[ -n "$program_pid" ]]; then
        kill "$program_pid" 2>/dev/null
        wait "$program_pid" 2>/dev/null
    fi
    if [[ -n "$device_pid" ]]; then
        kill "$device_pid" 2>/dev/null
        wait "$device_pid" 2>/dev/null
    fi
    if [[ -n "$socat_pid" ]]; then
        kill "$socat_pid" 2>/dev/null
        wait "$socat_pid" 2>/dev/null
    fi
    # The mapping lasts for this run only: the next start of the prefix would otherwise find a
    # COM1 that names a terminal that has gone.
    if [[ -n "$mapped" && "$(readlink "$com1" 2>/dev/null)" == "$mapped" ]]; then
        rm -f "$com1"
        "$WINELOADER" reg delete "$ports_key" /v COM1 /f >/dev/null 2>&1
    fi
    [[ -n "$demo_dir" ]] && rm -rf "$demo_dir"
    if [[ -n "$xvfb_pid" ]]; then
        kill "$xvfb_pid" 2>/dev/null
        wait "$xvfb_pid" 2>/dev/null
    fi
    [[ -n "$display_file" ]] && rm -f "$display_file"
    return 0
}
trap cleanup EXIT
trap 'exit 129' HUP
trap 'exit 130' INT
trap 'exit 143' TERM

if [[ -z "${DISPLAY:-}" ]]; then
    # No desktop here: run on a virtual display so the program still starts.
    display_file=$(mktemp)
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$display_file" 2>/dev/null &
    xvfb_pid=$!
    for _ in $(seq 100); do [[ -s "$display_file" ]] && break; sleep 0.1; done
    export DISPLAY=":$(cat "$display_file")"
    echo "No DISPLAY set: running on the virtual display $DISPLAY."
fi
wine_server_ensure || true   # fails when a server for the prefix already runs

# Wine remakes the prefix's COM links each time the prefix starts (COM1 would become
# /dev/ttyS0 again), taking its own list from the registry: the mapping goes into both.
map_com1() {
    mapped=$1
    "$WINELOADER" reg add "$ports_key" /v COM1 /t REG_SZ /d "$1" /f >/dev/null 2>&1
    ln -sfn "$1" "$com1"
}

# The serial device that the program sees as COM1, its default port.
port="${VELTRANE_PORT:-}"
if [[ -n "$port" ]]; then
    [[ -e "$port" ]] || { echo "VELTRANE_PORT=$port: no such device" >&2; exit 1; }
    map_com1 "$port"
    echo "COM1 is $port (from VELTRANE_PORT)."
else
    for candidate in /dev/ttyUSB* /dev/ttyACM*; do
        [[ -e "$candidate" ]] && { port=$candidate; break; }
    done
    if [[ -n "$port" ]]; then
        map_com1 "$port"
        echo "COM1 is $port, the first serial device found (VELTRANE_PORT chooses another)."
    else
        # The demo: a pseudo-terminal pair, one end COM1, the other the pretend device.
        demo_dir=$(mktemp -d "${TMPDIR:-/tmp}/veltrane-demo.XXXXXX")
        socat "pty,raw,echo=0,link=$demo_dir/com1" "pty,raw,echo=0,link=$demo_dir/device" \
            </dev/null >/dev/null 2>"$demo_dir/socat.log" &
        socat_pid=$!
        for _ in $(seq 500); do
            [[ -e "$demo_dir/com1" && -e "$demo_dir/device" ]] && break
            kill -0 "$socat_pid" 2>/dev/null || break
            sleep 0.01
        done
        if [[ ! -e "$demo_dir/com1" || ! -e "$demo_dir/device" ]]; then
            echo "socat made no pseudo-terminals for the demo device:" >&2
            cat "$demo_dir/socat.log" >&2
            exit 1
        fi
        bash "$root/scripts/demo-device.sh" <"$demo_dir/device" >"$demo_dir/device" 2>/dev/null &
        device_pid=$!
        map_com1 "$demo_dir/com1"
        echo "No serial device found: COM1 is a demo device that sends a line each second" \
            "and echoes what it receives."
    fi
fi

echo "Running $windows/app/Veltrane.exe"
# In the background so that a signal to this script ends the program and the demo at once.
set +e
"$WINELOADER" "$windows/app/Veltrane.exe" "$@" &
program_pid=$!
wait "$program_pid"
status=$?
program_pid=""
exit $status
