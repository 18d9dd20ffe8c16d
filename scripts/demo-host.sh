#!/usr/bin/env bash
# A pretend program under test for the conversation demo: opens the port, sends each request as
# a line, prints the answer line (or "(no answer)" after a second), and closes the port again,
# as many polling programs do.
# Usage: demo-host.sh PORT REQUEST...
set -u
port=$1
shift
for request in "$@"; do
    exec 3<>"$port" || exit 1
    printf '%s\r\n' "$request" >&3
    if IFS= read -r -t 1 answer <&3; then
        printf '%s -> %s\n' "$request" "${answer%$'\r'}"
    else
        printf '%s -> (no answer)\n' "$request"
    fi
    exec 3>&-
done
