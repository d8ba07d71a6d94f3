#!/bin/bash
# completion_test.sh TAMO_CLOCK DOCS_DIR
# The bash completion offers exactly the options that tamo-clock(1) documents, among them every
# option that tamo-clock --help names; after --at it offers an instant that tamo-clock takes.
# The zsh and fish completions name the same options.
set -u
clock=$1 docs=$2
status=0
fail() { echo "FAIL: $*"; status=1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work/runtime
mkdir -p "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"

# What _tamo_clock answers for the words given, one reply a line.
complete_words() {
    bash --norc --noprofile -c '
        source "$1"; shift
        COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1))
        _tamo_clock
        printf "%s\n" "${COMPREPLY[@]}"' _ "$docs/completions/tamo-clock.bash" "$@"
}

# Each entry of the page's OPTIONS starts a line with the option in bold: *--name* or *-h*, *--help*.
documented=$(sed -n '/^# OPTIONS/,/^# [A-Z]/p' "$docs/man/tamo-clock.1.scd" \
    | grep '^\*-' | grep -o -- '--[a-z-]*' | sort)
offered=$(complete_words tamo-clock -- | sort)
[ -n "$documented" ] || fail "no options found in tamo-clock.1.scd"
[ "$offered" = "$documented" ] || fail "bash offers [$(echo $offered)], the page documents [$(echo $documented)]"

for option in $("$clock" --help | grep -o -- '--[a-z][a-z-]*' | sort -u); do
    grep -qx -- "$option" <<< "$offered" || fail "--help names $option, the completion does not"
done

[ "$(complete_words tamo-clock --j)" = "--json" ] || fail "--j does not complete to --json"
[ -z "$(complete_words tamo-clock --format '')" ] || fail "a format is offered words"

for words in "--at ''" "--json --at ''" "--at = ''"; do
    eval "set -- tamo-clock $words"
    at=$(complete_words "$@")
    if ! grep -Eqx '[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}' <<< "$at"; then
        fail "after $words: [$at] is no instant"
    elif ! "$clock" --at "$at" --format '%yyyy%' > /dev/null; then
        fail "tamo-clock refuses --at $at"
    fi
done

for option in $documented; do
    grep -Eq -- "${option}([=[]|})" "$docs/completions/_tamo-clock" \
        || fail "the zsh completion lacks $option"
    grep -Eq -- "-l ${option#--}( |$)" "$docs/completions/tamo-clock.fish" \
        || fail "the fish completion lacks $option"
done

[ $status = 0 ] && echo "$(wc -w <<< "$offered") options offered"
exit $status
