#!/usr/bin/env bash
# Real Modbus masters nobody here wrote (pymodbus's client and libmodbus's mbpoll) against the
# stand-in: a slave of our own (slave.py) is recorded being polled through monitor, then the
# stand-in answers, as the device learned from that recording, polls it never heard as such.
# Usage: masters_test.sh veltrane-cli|veltrane-cli.exe
#   The Windows program runs under its build's Wine prefix, its ports COM9-COM11 mapped onto
#   pseudo-terminal pairs.
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
cli=$1
windows_cli=""
[[ $cli == *.exe ]] && windows_cli=$cli
python=/usr/bin/python3  # Debian's, which has pymodbus
for tool in "$python" mbpoll socat; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 0; }
done
"$python" -c 'import pymodbus.client' 2>/dev/null || { echo "SKIP: no pymodbus"; exit 0; }

echo "masters against ${windows_cli:+(under Wine) }$cli"
work=$(mktemp -d "${TMPDIR:-/tmp}/veltrane-masters.XXXXXX")
pids=()
cleanup() {
    local pid
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
    for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null; done
    local name
    for name in com9 com10 com11; do
        [[ "$(readlink "${WINEPREFIX:-/nonexistent}/dosdevices/$name" 2>/dev/null)" == "$work"/* ]] &&
            rm -f "$WINEPREFIX/dosdevices/$name"
    done
    rm -rf "$work"
}
trap cleanup EXIT

# mbpoll, once, RTU at 9600 8N1 on $1; the rest are its options.
poll() {
    local port=$1
    shift
    timeout 20 mbpoll -m rtu -b 9600 -P none -1 -o 1 "$@" "$port" 2>&1
}

source "$here/../peers.sh"

# 1. Record the slave being polled by both masters, through monitor.
pair "$work/slave" "$work/device"
pair "$work/host" "$work/master"
"$python" "$here/slave.py" "$work/slave" &
pids+=($!)
"${run_cli[@]}" monitor --host-port "$(port_of "$work/host" COM9)" \
    --device-port "$(port_of "$work/device" COM10)" -b 9600 \
    -o "$(file_of "$work/slave.pcapng")" >/dev/null 2>"$work/monitor.err" &
monitor=$!
pids+=($monitor)
wait_for_line "$work/monitor.err" "monitoring" || { cat "$work/monitor.err"; exit 2; }
"$python" "$here/master.py" record "$work/master" || fail "pymodbus could not poll the slave"
poll "$work/master" -a 1 -r 1 -c 10 -t 3 >/dev/null || fail "mbpoll could not poll the slave"
kill -INT "$monitor"
wait "$monitor" || fail "monitor ended with $?"

# 2. The stand-in answers from what it learned.
pair "$work/standin-end" "$work/standin"
respond_port=$(port_of "$work/standin-end" COM11)
"${run_cli[@]}" respond "$(file_of "$work/slave.pcapng")" --modbus --port "$respond_port" -b 9600 \
    --report "$(file_of "$work/report.json")" >"$work/respond.out" 2>"$work/respond.err" &
respond=$!
pids+=($respond)
wait_for_line "$work/respond.err" "answering" || { cat "$work/respond.err"; exit 2; }
port="$work/standin"

"$python" "$here/master.py" check "$port" || fail "pymodbus against the stand-in"
# libmodbus numbers from 1 here: references 8-10 are holding registers 7-9.
out=$(poll "$port" -a 1 -r 8 -c 3 -t 4)
grep -q '^\[8\]:[[:space:]]*107' <<<"$out" && grep -q '^\[10\]:[[:space:]]*109' <<<"$out" ||
    fail "mbpoll read of holding 7-9: $out"
out=$(poll "$port" -a 1 -r 3 -c 2 -t 3)
grep -q '^\[3\]:[[:space:]]*1002' <<<"$out" || fail "mbpoll read of inputs 2-3: $out"
out=$(poll "$port" -a 1 -r 60 -c 1 -t 4)
grep -qi 'illegal data address' <<<"$out" || fail "mbpoll at an unknown address: $out"
out=$(poll "$port" -a 9 -r 1 -c 1 -t 4)
grep -qi 'timed out\|timeout' <<<"$out" || fail "mbpoll of unit 9: $out"
kill -INT "$respond"
wait "$respond"
grep -q '"answered_by_modbus": [1-9]' "$work/report.json" ||
    fail "the report counts no answer from the Modbus device: $(cat "$work/report.json")"

# 3. Learn, edit the map, answer from the map alone.
"${run_cli[@]}" info "$(file_of "$work/slave.pcapng")" --modbus \
    --modbus-map "$(file_of "$work/map.csv")" >"$work/info.out" 2>&1 || fail "info --modbus failed"
grep -q '^1,holding,0,100' "$work/map.csv" || fail "the map has no holding 0: $(head "$work/map.csv")"
sed -i 's/^1,holding,0,100/1,holding,0,4321/' "$work/map.csv"
"${run_cli[@]}" respond --modbus-map "$(file_of "$work/map.csv")" --port "$respond_port" -b 9600 \
    >"$work/respond.out" 2>"$work/respond.err" &
respond=$!
pids+=($respond)
wait_for_line "$work/respond.err" "answering" || { cat "$work/respond.err"; exit 2; }
out=$(poll "$port" -a 1 -r 1 -c 2 -t 4)
grep -q '^\[1\]:[[:space:]]*4321' <<<"$out" && grep -q '^\[2\]:[[:space:]]*101' <<<"$out" ||
    fail "mbpoll of the edited map: $out"
kill -INT "$respond"
wait "$respond"

[[ $status -eq 0 ]] || cat "$work/info.out" "$work/respond.out" "$work/respond.err"
exit $status
