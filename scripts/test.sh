#!/usr/bin/env bash
# Builds the native configuration (with sanitizers) and the Windows configuration, then runs
# every test: natively, and under Wine with a private prefix; last, each fuzz target over its
# seeds and for 20 s more. Exits non-zero on any failure.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$root/scripts/wine-prefix.sh"

bash "$root/scripts/install-deps.sh"
bash "$root/scripts/check-layout.sh"

jobs=$(nproc)
native="$root/build/native"
threads="$root/build/tsan"
windows="$root/build/windows"

configure() {  # <build-dir> <cmake args...>
    local dir=$1
    shift
    cmake -S "$root" -B "$dir" -Wno-dev "$@" >"$dir.configure.log" 2>&1 ||
        { cat "$dir.configure.log"; return 1; }
}

mkdir -p "$root/build"
configure "$native" -DVELTRANE_SANITIZERS=address,undefined
configure "$threads" -DVELTRANE_SANITIZERS=thread
configure "$windows" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake"
cmake --build "$native" -j "$jobs"
# The threaded code (the workers and their owner) also runs under ThreadSanitizer.
cmake --build "$threads" -j "$jobs" --target worker_tests monitor_relay_tests network_tests
cmake --build "$windows" -j "$jobs"

# Windows programs need an X display; a private Xvfb keeps the tests off any real desktop.
display_file=$(mktemp)
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$display_file" 2>/dev/null &
xvfb_pid=$!
wine_prefix_setup "$windows"
cleanup() {
    wine_server_stop
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
    rm -f "$display_file"
}
trap cleanup EXIT
for _ in $(seq 100); do [[ -s "$display_file" ]] && break; sleep 0.1; done
export DISPLAY=":$(cat "$display_file")"
wine_server_start

status=0
echo "== native tests (AddressSanitizer, UndefinedBehaviorSanitizer)"
ctest --test-dir "$native" --output-on-failure -j "$jobs" || status=1
echo "== worker tests (ThreadSanitizer)"
ctest --test-dir "$threads" --output-on-failure -R '^(worker|monitor_relay|network)_tests$' || status=1
echo "== Windows tests under Wine"
ctest --test-dir "$windows" --output-on-failure -j "$jobs" || status=1
echo "== fuzz targets over their seeds and 20 s more (clang, AddressSanitizer, UBSan)"
for target in chunk_reader seek_scan export import conversation answer_rules modbus_learner \
    telnet_session; do
    bash "$root/scripts/fuzz.sh" "$target" 20 || status=1
done
exit $status
