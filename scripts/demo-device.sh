#!/usr/bin/env bash
# A pretend serial device for trying Veltrane without one: once a second it sends a line of text,
# and it echoes back every byte it receives. It talks on its standard input and output;
# scripts/run.sh connects both to one end of a pseudo-terminal pair whose other end is COM1.
# Usage: demo-device.sh <tty >tty
set -u

ticker_pid=""
echo_pid=""
finish() {
    [[ -n "$ticker_pid" ]] && kill "$ticker_pid" 2>/dev/null
    [[ -n "$echo_pid" ]] && kill "$echo_pid" 2>/dev/null
    wait 2>/dev/null
    exit 0
}
trap finish EXIT HUP INT TERM

# The lines. A write that fails (the terminal has gone) ends the loop.
(
    line=0
    while sleep 1; do
        line=$((line + 1))
        printf 'Veltrane demo device: line %d at %(%H:%M:%S)T\r\n' "$line" -1 || exit 0
    done
) &
ticker_pid=$!

# The echo, in the background so that a signal ends this script at once. A background command
# would read /dev/null instead of standard input, hence the explicit redirection.
exec 3<&0
cat <&3 &
echo_pid=$!
wait "$echo_pid"
