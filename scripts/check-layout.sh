#!/usr/bin/env bash
# Fails when an include points the wrong way between the folders (see the README's layout):
#   engine  -> engine
#   log     -> log, engine
#   conversation -> conversation, engine
#   network -> network, engine
#   convert -> convert, conversation, log, engine
#   workers -> workers, network, conversation, log, engine
#   dataview -> dataview, conversation, engine
#   win32   -> win32
#   app     -> anything of ours
#   cli     -> cli, workers, network, convert, conversation, log, engine
#   tests/support, bench -> anything but app, win32 and res
#   fuzz    -> fuzz, network, convert, conversation, log, engine, tests/support
# A layer's own tests (<layer>/tests/) may also use the shared test helpers in tests/.
# Every include of our own names its folder, so the folder of a file and of its includes decide.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

allowed() {  # <folder of the including file> -> allowed include folders (regex)
    case $1 in
        engine) echo '^engine/' ;;
        log) echo '^(log|engine)/' ;;
        conversation) echo '^(conversation|engine)/' ;;
        network) echo '^(network|engine)/' ;;
        convert) echo '^(convert|conversation|log|engine)/' ;;
        workers) echo '^(workers|network|conversation|log|engine)/' ;;
        dataview) echo '^(dataview|conversation|engine)/' ;;
        win32) echo '^win32/' ;;
        app) echo '.' ;;
        cli) echo '^(cli|workers|network|convert|conversation|log|engine)/' ;;
        tests) echo '^(engine|log|network|conversation|convert|workers|dataview|tests|bench)/' ;;
        bench) echo '^(engine|log|network|conversation|convert|workers|dataview|tests|bench)/' ;;
        fuzz) echo '^(fuzz|network|convert|conversation|log|engine|tests/support)/' ;;
        *) echo '.' ;;
    esac
}

status=0
while IFS= read -r file; do
    [[ -f $file ]] || continue
    top=${file%%/*}
    pattern=$(allowed "$top")
    if [[ $file == */tests/* && $top != app ]]; then
        pattern="${pattern%/}|^tests/"
        pattern="(${pattern})"
    fi
    while IFS= read -r included; do
        if [[ $included != */* ]]; then
            echo "$file: include \"$included\" does not name its folder"
            status=1
        elif ! [[ $included =~ $pattern ]]; then
            echo "$file: include \"$included\" points the wrong way"
            status=1
        fi
    done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$file")
done < <(git ls-files -co --exclude-standard -- '*.h' '*.cpp' | grep -v '^build/')
[[ $status -eq 0 ]] && echo "layout: every include points one way"
exit $status
