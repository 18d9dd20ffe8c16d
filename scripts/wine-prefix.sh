# Sourced by the scripts that run Windows programs: the build's private Wine prefix.
# Usage: source wine-prefix.sh; wine_prefix_setup <build-dir>

export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="   # no Mono or Gecko installer

wine_loader() {
    if [[ -x /usr/lib/wine/wine64 ]]; then echo /usr/lib/wine/wine64; else command -v wine; fi
}

# The build folder (the one holding CMakeCache.txt) above a built program.
build_dir_of() {
    local dir
    dir=$(cd "$(dirname "$1")" && pwd)
    while [[ "$dir" != "/" && ! -f "$dir/CMakeCache.txt" ]]; do
        dir=$(dirname "$dir")
    done
    [[ -f "$dir/CMakeCache.txt" ]] || { echo "no build folder above $1" >&2; return 1; }
    echo "$dir"
}

# Creates the prefix once (under a lock, so parallel callers do not race) and exports it.
wine_prefix_setup() {
    local build_dir=$1
    export WINEPREFIX="$build_dir/wineprefix"
    export WINELOADER
    WINELOADER=$(wine_loader)
    (
        flock 9
        if [[ ! -f "$WINEPREFIX/.veltrane-ready" ]]; then
            rm -rf "$WINEPREFIX"
            "$WINELOADER" wineboot -i >/dev/null 2>&1
            # Without a window manager every hidden window stalls unless windows are unmanaged.
            "$WINELOADER" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f \
                >/dev/null 2>&1
            wineserver -w
            touch "$WINEPREFIX/.veltrane-ready"
        fi
    ) 9>"$build_dir/.wineprefix.lock"
}

# The server's own messages go to a file: it opens the test's pseudo-terminals, so when socat
# ends a pair the server gets a hang-up signal and dumps its whole object table.
wine_server_log() { echo "$WINEPREFIX/../wineserver.log"; }

# Keeps one server alive for the whole run so that each process start stays cheap.
wine_server_start() {
    wineserver -p 2>>"$(wine_server_log)"
    "$WINELOADER" cmd /c exit >/dev/null 2>&1 || true   # wait until the server answers
}

# For a single program run outside a test run: a server that stays a few seconds after it.
# Does nothing when a server for the prefix is already running.
wine_server_ensure() {
    wineserver -p5 2>>"$(wine_server_log)"
}

wine_server_stop() {
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
}
