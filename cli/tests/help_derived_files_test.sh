#!/usr/bin/env bash
# The manual page and the bash completion are made from the program's --help. Every command the
# help lists and every option a command's help names must reach both, and a port option must offer
# the ports the program finds. The README states the exit rule as --help does.
#   bash cli/tests/help_derived_files_test.sh PROGRAM SOURCE_ROOT
set -uo pipefail
program=$1
root=$2
source "$root/cli/debian/bash-completion"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
offered() {  # what the completion offers after the given words, one a line
    COMP_WORDS=("$program" "$@"); COMP_CWORD=$#; COMPREPLY=()
    _veltrane_cli
    printf '%s\n' "${COMPREPLY[@]}"
}

page=$(mktemp)
trap 'rm -f "$page"' EXIT
bash "$root/scripts/cli-manpage.sh" "$program" "test summary" "$page" || fail "no manual page"
page_text=$(sed 's/\\-/-/g' "$page")

commands=$("$program" --help | awk '/^Commands:/ { on = 1; next } on && NF == 0 { exit } on { print $1 }')
[[ -n "$commands" ]] || fail "no commands in --help"
for command in $commands; do
    offered "${command:0:2}" | grep -qx -- "$command" || fail "$command: not completed"
    grep -qx -- ".SS $command" <<<"$page_text" || fail "$command: no part in the manual page"
    options=$(offered "$command" -)
    for option in $("$program" "$command" --help | grep -oE -- '--[a-z][a-z-]+' | sort -u); do
        grep -qx -- "$option" <<<"$options" || fail "$command $option: not completed"
        grep -qF -- "$option" <<<"$page_text" || fail "$command $option: not in the manual page"
    done
done

ports=$("$program" ports --quiet | cut -d' ' -f1)
[[ "$(offered play --port '')" == "$ports" ]] || fail "play --port: not the ports found"
[[ "$(offered play -p '')" == "$ports" ]] || fail "play -p: not the ports found"

# The README states the exit rule as --help does, word for word.
rule=$("$program" --help | sed -n '/^Exit status:/,$p')
[[ -n "$rule" ]] || fail "no exit rule in --help"
[[ "$(<"$root/README.md")" == *"$rule"* ]] || fail "README: not the exit rule of --help"

((failures == 0)) && echo "manual page and completion cover every command and option"
exit $((failures > 0))
