#!/usr/bin/env bash
# Runs one benchmark natively and then the Windows build of it under Wine, printing the figures.
# Usage: bash scripts/bench.sh chunk-seek|playback-timing|blocked-close|recording-throughput|
#                              convert-throughput|cli-replay|cli-play-memory|sleeper-lateness|
#                              port-wait|pty-idle|monitor|respond|monitor-idle|data-view|network|
#                              multi-port
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

case "${1:-}" in
    chunk-seek) target=bench_chunk_seek; serial=no ;;
    playback-timing) target=bench_playback_timing; serial=yes ;;
    blocked-close) target=bench_blocked_close; serial=yes ;;
    recording-throughput) target=bench_recording_throughput; serial=yes ;;
    # Under Wine only our side is timed: xxd, the yardstick, is a program of the host.
    convert-throughput) target=bench_convert_throughput; serial=no ;;
    # veltrane-cli replays natively and under Wine, and the window's playback under Wine, beside
    # asciinema, scriptreplay and ttyplay; one native program runs them all and measures at the
    # far end, on a quiet machine and with one core busy.
    cli-replay) target=bench_cli_replay; serial=no ;;
    # Native only: the peak resident memory of a process is read where it ends.
    cli-play-memory) target=bench_cli_play_memory; serial=no ;;
    sleeper-lateness) target=bench_sleeper_lateness; serial=no ;;
    port-wait) target=bench_port_wait; serial=yes ;;
    # A request's round trip through veltrane-cli monitor natively and under Wine, beside socat.
    monitor) target=bench_monitor_relay; serial=no ;;
    # How late veltrane-cli respond's answers come at the far end, natively and under Wine: the
    # recorded requests, a learned Modbus slave and rules; then beside umockdev-run, and the
    # memory of learning a Modbus slave from 1 GiB.
    respond) target=bench_respond_lateness; serial=no ;;
    # Native only: the pseudo-terminal host side exists only there.
    pty-idle) target=bench_pty_idle; serial=no ;;
    # Native only: the whole monitor while its pseudo-terminal host side waits for the program.
    monitor-idle) target=bench_monitor_idle; serial=no ;;
    # The window's data view over a 5 GiB file: first rows, rows near the end, memory.
    data-view) target=bench_data_view; serial=no ;;
    # Native only: what serving respond over TCP and RFC 2217 adds to a poll's round trip, and
    # monitor between a pseudo-terminal and ser2net beside socat doing the same.
    network) target=bench_network_round_trip; serial=no ;;
    # The order and spacing of a two-port rig's bursts at the far ends, played by veltrane-cli
    # natively and under Wine.
    multi-port) target=bench_multi_port_play; serial=no ;;
    *) echo "usage: $0 chunk-seek|playback-timing|blocked-close|recording-throughput|convert-throughput|cli-replay|cli-play-memory|sleeper-lateness|port-wait|pty-idle|monitor|respond|monitor-idle|data-view|network|multi-port" >&2
       exit 2 ;;
esac

bash "$root/scripts/install-deps.sh"
native="$root/build/bench"
windows="$root/build/windows-bench"
mkdir -p "$root/build"
cmake -S "$root" -B "$native" -Wno-dev -DCMAKE_BUILD_TYPE=Release -DVELTRANE_TESTS=OFF >/dev/null
cmake -S "$root" -B "$windows" -Wno-dev -DCMAKE_BUILD_TYPE=Release -DVELTRANE_TESTS=OFF \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" >/dev/null
# These run veltrane-cli natively and veltrane-cli.exe under Wine as programs of their own, and
# measure from the native side.
if [[ $target == bench_cli_replay || $target == bench_monitor_relay || $target == bench_respond_lateness ||
      $target == bench_multi_port_play ]]; then
    cmake --build "$native" -j "$(nproc)" --target "$target" veltrane-cli >/dev/null
    cmake --build "$windows" -j "$(nproc)" --target veltrane-cli >/dev/null
    source "$root/scripts/wine-prefix.sh"
    wine_prefix_setup "$windows"
    echo "== $1: natively and under Wine"
    if [[ $target == bench_cli_replay ]]; then
        cmake --build "$windows" -j "$(nproc)" --target bench_window_play_worker >/dev/null
        # The server and Wine's own services stay up between the players, as they do while the
        # window is open: a replay is not timed against Wine starting its services.
        wine_server_start || true  # one may be up already: it serves as well
        trap wine_server_stop EXIT
        "$native/bench/$target" "$native/cli/veltrane-cli" "$windows/cli/veltrane-cli.exe" \
            "$WINELOADER" "$windows/bench/bench_window_play_worker.exe"
        exit
    fi
    wine_server_ensure
    "$native/bench/$target" "$native/cli/veltrane-cli" "$windows/cli/veltrane-cli.exe" "$WINELOADER"
    exit
fi
if [[ $target == bench_pty_idle || $target == bench_monitor_idle ]]; then
    cmake --build "$native" -j "$(nproc)" --target "$target" >/dev/null
    echo "== $1, native"
    "$native/bench/$target"
    exit
fi
if [[ $target == bench_network_round_trip ]]; then
    cmake --build "$native" -j "$(nproc)" --target "$target" veltrane-cli >/dev/null
    echo "== network, native"
    "$native/bench/$target" "$native/cli/veltrane-cli"
    exit
fi
if [[ $target == bench_cli_play_memory ]]; then
    cmake --build "$native" -j "$(nproc)" --target bench_cli_play_memory veltrane-cli >/dev/null
    echo "== cli-play-memory, native"
    "$native/bench/bench_cli_play_memory" "$native/cli/veltrane-cli"
    exit
fi
cmake --build "$native" -j "$(nproc)" --target "$target" >/dev/null
cmake --build "$windows" -j "$(nproc)" --target "$target" >/dev/null

echo "== $1, native"
"$native/bench/$target"
echo "== $1, Windows build under Wine"
if [[ $serial == yes ]]; then
    "$root/scripts/with-serial-pair.sh" "$windows/bench/$target.exe"
else
    "$root/scripts/wine-exec.sh" "$windows/bench/$target.exe"
fi
