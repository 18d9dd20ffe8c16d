# Shared by the tests that run veltrane-cli, natively or as veltrane-cli.exe under its build's
# Wine prefix, against peers nobody here wrote. Sourced after the caller has set `cli` (the
# program), `pids` (an array its cleanup kills) and checked that socat is there.
status=0
fail() { echo "FAIL: $*"; status=1; }

# A pseudo-terminal pair whose ends are links $1 and $2.
pair() {
    socat "pty,raw,echo=0,link=$1" "pty,raw,echo=0,link=$2" </dev/null 2>/dev/null &
    pids+=($!)
    for _ in $(seq 500); do [[ -e "$1" && -e "$2" ]] && return 0; sleep 0.01; done
    echo "socat made no pair" >&2
    exit 2
}
wait_for_line() {  # <file> <text>: within 15 s
    for _ in $(seq 1500); do grep -q "$2" "$1" 2>/dev/null && return 0; sleep 0.01; done
    return 1
}

# The program's name for a pseudo-terminal end: natively its path; under Wine a COM port of the
# prefix mapped onto it. Files under Wine are named on drive Z:.
windows_cli=""
[[ $cli == *.exe ]] && windows_cli=$cli
if [[ -n "$windows_cli" ]]; then
    source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/wine-prefix.sh"
    wine_prefix_setup "$(cd "$(dirname "$windows_cli")/.." && pwd)"
    wine_server_ensure
fi
port_of() {  # <end> <COM name>
    if [[ -z "$windows_cli" ]]; then
        echo "$1"
    else
        ln -sfn "$1" "$WINEPREFIX/dosdevices/${2,,}"
        echo "$2"
    fi
}
file_of() { [[ -z "$windows_cli" ]] && echo "$1" || echo "Z:${1//\//\\}"; }
# The program itself, not a shell around it, gets the signals that end it.
run_cli=("$cli")
[[ -z "$windows_cli" ]] || run_cli=("$WINELOADER" "$windows_cli")
