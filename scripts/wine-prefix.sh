# Sourced by the scripts that run Windows programs: the build's private Wine prefix.
# Usage: source wine-prefix.sh; wine_prefix_setup <build-dir>

export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="   # no Mono or Gecko installer

wine_loader() {
    if [[ -x /usr/lib/wine/wine64 ]]; then echo /usr/lib/wine/wine64; else command -v wine; fi
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

# Keeps one server alive for the whole run so that each process start stays cheap.
wine_server_start() {
    wineserver -p
    "$WINELOADER" cmd /c exit >/dev/null 2>&1 || true   # wait until the server answers
}

wine_server_stop() {
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
}
