# Bash completion for staywakectl.
_staywakectl() {
    local current=${COMP_WORDS[COMP_CWORD]}
    local previous=${COMP_WORDS[COMP_CWORD-1]}
    if [[ $COMP_CWORD -eq 1 ]]; then
        COMPREPLY=($(compgen -W "status on off nightbrew run inhibitors --help" -- "$current"))
        return
    fi
    local word
    for word in "${COMP_WORDS[@]:2:COMP_CWORD-2}"; do
        if [[ $word == -- ]]; then
            COMPREPLY=($(compgen -c -- "$current"))
            return
        fi
    done
    case ${COMP_WORDS[1]} in
        status) COMPREPLY=($(compgen -W "--json" -- "$current")) ;;
        on)
            case $previous in
                --for) COMPREPLY=($(compgen -W "15m 30m 1h 1h30m 2h 4h" -- "$current")) ;;
                --until) COMPREPLY=() ;;
                *) [[ $COMP_CWORD -eq 2 ]] && COMPREPLY=($(compgen -W "--for --until" -- "$current")) ;;
            esac ;;
        nightbrew) [[ $COMP_CWORD -eq 2 ]] && COMPREPLY=($(compgen -W "on off" -- "$current")) ;;
        run)
            case $previous in
                --why) COMPREPLY=() ;;
                *) COMPREPLY=($(compgen -W "--why --" -- "$current")) ;;
            esac ;;
    esac
}
complete -F _staywakectl staywakectl
