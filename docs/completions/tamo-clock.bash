# bash completion for tamo-clock                                   -*- shell-script -*-
# Completes the options; after --at it offers the present instant, to the minute, as --at
# reads it, after --calendar this month and after --holidays this year.

_tamo_clock()
{
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}
    # bash splits words at "=" and ":": --at=X arrives as --at, =, X.
    if [[ $prev == = ]] && ((COMP_CWORD >= 2)); then
        prev=${COMP_WORDS[COMP_CWORD-2]}
    fi
    case $prev in
        --at)
            COMPREPLY=($(compgen -W "$(date +%Y-%m-%dT%H:%M)" -- "$cur"))
            return
            ;;
        --format | --tooltip)
            # A format is the user's own text.
            COMPREPLY=()
            return
            ;;
        --calendar)
            # Its month is optional: offer this one beside the options.
            COMPREPLY=($(compgen -W "$(date +%Y-%m) --at" -- "$cur"))
            return
            ;;
        --holidays)
            COMPREPLY=($(compgen -W "$(date +%Y)" -- "$cur"))
            return
            ;;
    esac
    COMPREPLY=($(compgen -W '--format --tooltip --at --time-key --json --pango --follow
                              --calendar-tooltip --calendar --holidays --help --version' -- "$cur"))
}
complete -F _tamo_clock tamo-clock
