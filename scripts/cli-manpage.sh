#!/usr/bin/env bash
# Writes veltrane-cli's manual page into OUT, made from the program's own --help texts
# so that the page says what the installed program says:
#   bash scripts/cli-manpage.sh PROGRAM "one-line summary" OUT
# The program's help makes SYNOPSIS and DESCRIPTION; each command's help makes its part of
# COMMANDS. Usage lines stay as they are; prose is filled by man; option and command lines
# become tagged paragraphs.
set -euo pipefail
program=$1
summary=$2
exec >"$3"

version=$("$program" --version)
help=$("$program" --help)
commands=$(sed -n '/^Commands:/,/^$/s/^  \([a-z][a-z-]*\) .*/\1/p' <<<"$help")
[[ -n "$commands" ]] || { echo "$0: no commands in $program --help" >&2; exit 1; }

# Turns one help text into man markup. The usage block (the "Usage:" line and the lines under it
# up to the first blank line) is kept as it is; a line indented 2 to 6 columns starts an entry
# (an option, or a command in the program's list), a deeper one goes on with the entry's text.
render() {
    awk -v skip_usage="$1" '
        function escape(text) {
            gsub(/\\/, "\\e", text)
            gsub(/-/, "\\-", text)
            if (text ~ /^[.\047]/) text = "\\&" text
            return text
        }
        NR == 1 && /^Usage: / {
            usage = 1
            sub(/^Usage: +/, "")
            if (!skip_usage) print ".nf"
        }
        usage && !/^ / && NR > 1 { usage = 0; if (!skip_usage) print ".fi" }
        usage { if (!skip_usage) { sub(/^ +/, "  "); print escape($0) }; next }
        /^$/ { print ".PP"; entry = 0; next }
        { match($0, /^ */); indent = RLENGTH }
        indent >= 2 && indent <= 6 {
            line = $0
            sub(/^ +/, "", line)
            # The term: "-p, --port PORT", "--no-time", or a command name; two spaces end it,
            # or one after a value name too long for its column.
            if (match(line, /^(-[A-Za-z], )?--[a-z][a-z-]*/)) {
                name = substr(line, 1, RLENGTH)
                line = substr(line, RLENGTH + 1)
                value = ""
                if (match(line, /^ [A-Z][A-Z0-9_]*(\.[a-z]+)?/)) {
                    value = substr(line, 2, RLENGTH - 1)
                    line = substr(line, RLENGTH + 1)
                }
            } else {
                match(line, /^[^ ]+/)
                name = substr(line, 1, RLENGTH)
                line = substr(line, RLENGTH + 1)
                value = ""
            }
            text = line
            sub(/^ +/, "", text)
            term = "\\fB" escape(name) "\\fR"
            if (value != "") term = term " \\fI" escape(value) "\\fR"
            print ".TP"
            print term
            if (text != "") print escape(text)
            entry = 1
            next
        }
        entry && /^ +/ { sub(/^ +/, ""); print escape($0); next }
        { print escape($0) }
    '
}

date=$(date -u -d "@${SOURCE_DATE_EPOCH:-$(date +%s)}" +%Y-%m-%d)
echo ".TH VELTRANE\\-CLI 1 \"$date\" \"$version\" \"User Commands\""
echo ".SH NAME"
echo "veltrane\\-cli \\- ${summary,}"  # a NAME line goes on in lower case
echo ".SH SYNOPSIS"
echo ".nf"
sed -n '1,/^$/{/^$/d;s/^Usage: *//;s/^ *//;s/-/\\-/g;p}' <<<"$help"
echo ".fi"
echo ".SH DESCRIPTION"
sed '1,/^$/d' <<<"$help" | render 1
echo ".SH COMMANDS"
for command in $commands; do
    echo ".SS $command"
    "$program" "$command" --help | render 0
done
echo ".SH \"SEE ALSO\""
echo "/usr/share/doc/veltrane\\-cli/README.md"
