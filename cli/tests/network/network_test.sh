#!/usr/bin/env bash
# Serial over the network against peers nobody here wrote: ser2net as the device server (RFC 2217
# and raw TCP) in front of the Modbus slave of ../modbus/slave.py on a pseudo-terminal pair, and
# pyserial's and pymodbus's own network clients against the ports Veltrane serves.
# Usage: network_test.sh veltrane-cli|veltrane-cli.exe
#   The Windows program runs under its build's Wine prefix, the program's side of the first
#   monitor on COM9 mapped onto a pseudo-terminal pair; Wine's sockets serve the rest.
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
modbus=$here/../modbus
cli=$1
windows_cli=""
[[ $cli == *.exe ]] && windows_cli=$cli
python=/usr/bin/python3  # Debian's, which has pyserial and pymodbus
ser2net=$(command -v ser2net || echo /usr/sbin/ser2net)
for tool in "$python" "$ser2net" socat; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 0; }
done
"$python" -c 'import pymodbus.client, serial' 2>/dev/null || { echo "SKIP: no pymodbus"; exit 0; }

echo "serial over the network against ${windows_cli:+(under Wine) }$cli"
work=$(mktemp -d "${TMPDIR:-/tmp}/veltrane-network.XXXXXX")
pids=()
cleanup() {
    local pid
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
    for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null; done
    [[ "$(readlink "${WINEPREFIX:-/nonexistent}/dosdevices/com9" 2>/dev/null)" == "$work"/* ]] &&
        rm -f "$WINEPREFIX/dosdevices/com9"
    rm -rf "$work"
}
trap cleanup EXIT
pass() { echo "ok   $*"; }

free_port() {
    "$python" -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}
listening() {  # <port>: within 10 s
    for _ in $(seq 1000); do
        "$python" -c "import socket; socket.create_connection(('127.0.0.1', $1), 1).close()" \
            2>/dev/null && return 0
        sleep 0.01
    done
    return 1
}

source "$here/../peers.sh"

# The device server: ser2net in front of the slave, RFC 2217 on one port and raw TCP on another
# (used one at a time: both reach the same line).
pair "$work/server-line" "$work/slave"
"$python" "$modbus/slave.py" "$work/slave" &
pids+=($!)
telnet_port=$(free_port)
raw_port=$(free_port)
cat >"$work/ser2net.yaml" <<YAML
%YAML 1.1
---
connection: &telnet
  accepter: telnet(rfc2217),tcp,127.0.0.1,$telnet_port
  connector: serialdev,$work/server-line,9600n81,local
connection: &raw
  accepter: tcp,127.0.0.1,$raw_port
  connector: serialdev,$work/server-line,9600n81,local
YAML
"$ser2net" -n -c "$work/ser2net.yaml" -P "$work/ser2net.pid" >"$work/ser2net.log" 2>&1 &
ser2net_pid=$!
pids+=($ser2net_pid)
listening "$telnet_port" && listening "$raw_port" || { cat "$work/ser2net.log"; exit 2; }
device_url=rfc2217://127.0.0.1:$telnet_port

# 1. The monitor between a program on a pseudo-terminal and the device behind ser2net.
pair "$work/host" "$work/master"
"${run_cli[@]}" monitor --host-port "$(port_of "$work/host" COM9)" --device-port "$device_url" \
    -b 9600 -o "$(file_of "$work/slave.pcapng")" >/dev/null 2>"$work/monitor.err" &
monitor=$!
pids+=($monitor)
wait_for_line "$work/monitor.err" "monitoring" || { cat "$work/monitor.err"; exit 2; }
"$python" "$modbus/master.py" record "$work/master" || fail "pymodbus could not poll through ser2net"
kill -INT "$monitor"
wait "$monitor" || fail "monitor ended with $?: $(cat "$work/monitor.err")"
"${run_cli[@]}" info "$(file_of "$work/slave.pcapng")" >"$work/info.out" 2>&1
grep -Eq 'bursts: +9 from the host, 9 from the device' "$work/info.out" &&
    pass "monitor through RFC 2217 kept every poll and answer" ||
    fail "monitor through RFC 2217: $(cat "$work/info.out" "$work/monitor.err")"

# 2. ask the device again over raw TCP: the answers that do not change match.
"${run_cli[@]}" ask "$(file_of "$work/slave.pcapng")" --port "tcp://127.0.0.1:$raw_port" -b 9600 \
    >"$work/ask.out" 2>&1
grep -Eq 'matched: +[6-9]' "$work/ask.out" && pass "ask over raw TCP" ||
    fail "ask over raw TCP: $(cat "$work/ask.out")"

# 3. A server that is not there: one line naming it and why, exit 1.
closed_url=rfc2217://127.0.0.1:$(free_port)
"${run_cli[@]}" record "$(file_of "$work/none.pcapng")" --port "$closed_url" >"$work/refused.out" 2>&1
code=$?
[[ $code -eq 1 && $(wc -l <"$work/refused.out") -eq 1 ]] && grep -q "$closed_url" "$work/refused.out" &&
    pass "a refused connection: $(cat "$work/refused.out")" ||
    fail "a refused connection gave $code: $(cat "$work/refused.out")"

# 4. The stand-in served over RFC 2217 and raw TCP, to pymodbus's and pyserial's own clients.
for scheme in rfc2217-server tcp-server; do
    "${run_cli[@]}" respond "$(file_of "$work/slave.pcapng")" --modbus --port "$scheme:0" \
        >"$work/respond.out" 2>"$work/respond.err" &
    respond=$!
    pids+=($respond)
    wait_for_line "$work/respond.err" "answering" || { cat "$work/respond.err"; exit 2; }
    url=$(head -1 "$work/respond.out")
    "$python" "$modbus/master.py" check "$url" >"$work/master.out" &&
        pass "pymodbus over $url" || fail "pymodbus over $url: $(cat "$work/master.out")"
    "$python" "$here/clients.py" "$url" >"$work/clients.out" &&
        pass "pyserial over $url" || fail "pyserial over $url: $(cat "$work/clients.out")"
    kill -INT "$respond"
    wait "$respond" || fail "respond on $scheme ended with $?"
    grep -q "turned away" "$work/respond.err" || fail "no word of the client turned away"
done

# 5. The monitor serving the program over RFC 2217, the device behind ser2net.
"${run_cli[@]}" monitor --host-port rfc2217-server:0 --device-port "$device_url" -b 9600 \
    -o "$(file_of "$work/served.pcapng")" >"$work/monitor.out" 2>"$work/monitor.err" &
monitor=$!
pids+=($monitor)
wait_for_line "$work/monitor.err" "monitoring" || { cat "$work/monitor.err"; exit 2; }
"$python" "$modbus/master.py" record "$(head -1 "$work/monitor.out")" ||
    fail "pymodbus through a served monitor"
"$python" "$here/clients.py" lines "$(head -1 "$work/monitor.out")" >"$work/lines.out" ||
    fail "line changes through a served monitor: $(cat "$work/lines.out")"
kill -INT "$monitor"
wait "$monitor" || fail "the served monitor ended with $?"
"${run_cli[@]}" info "$(file_of "$work/served.pcapng")" >"$work/served-info.out" 2>&1
grep -Eq 'bursts: +9 from the host, 9 from' "$work/served-info.out" &&
    grep -Eq 'line events: .*control lines [2-9].*break start 1, break end 1.*line settings [1-9]' \
        "$work/served-info.out" &&
    pass "monitor from RFC 2217 to RFC 2217, the program's line changes kept" ||
    fail "monitor from RFC 2217 to RFC 2217: $(cat "$work/served-info.out")"

# 6. The device server going away ends a recording with exit 1, what came before kept whole.
"${run_cli[@]}" record "$(file_of "$work/lost.pcapng")" --port "$device_url" -b 9600 \
    >"$work/lost.out" 2>"$work/lost.err" &
record=$!
pids+=($record)
wait_for_line "$work/lost.err" "recording" || { cat "$work/lost.err"; exit 2; }
"$python" -c "import serial; serial.Serial('$work/slave', 9600).write(bytes([1, 3, 2, 0, 7]))" 2>/dev/null
sleep 0.5
kill "$ser2net_pid"
wait "$record"
code=$?
"${run_cli[@]}" info "$(file_of "$work/lost.pcapng")" >"$work/lost-info.out" 2>&1
[[ $code -eq 1 ]] && grep -q "$device_url" "$work/lost.err" &&
    grep -Eq 'bytes: +0 from the host, [1-9]' "$work/lost-info.out" &&
    pass "a dropped server: $(tail -1 "$work/lost.err")" ||
    fail "a dropped server gave $code: $(cat "$work/lost.err" "$work/lost-info.out")"
exit $status
