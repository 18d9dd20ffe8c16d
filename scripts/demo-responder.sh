#!/usr/bin/env bash
# A pretend instrument that speaks only when spoken to, for trying conversations without one:
# each request line gets one answer line. "*IDN?" names it, "MEAS?" gives the next of a fixed
# round of readings, anything else "ERR". It talks on its standard input and output.
# Usage: demo-responder.sh <tty >tty
set -u
trap 'exit 0' HUP INT TERM

readings=(230.1 230.4 229.8 230.0)
taken=0
while IFS= read -r request 2>/dev/null; do
    request=${request%$'\r'}
    case $request in
        '*IDN?') answer='VELTRANE,DEMO-METER,0001,1.0' ;;
        'MEAS?')
            answer=${readings[taken % ${#readings[@]}]}
            taken=$((taken + 1))
            ;;
        *) answer=ERR ;;
    esac
    printf '%s\r\n' "$answer" || exit 0
done
