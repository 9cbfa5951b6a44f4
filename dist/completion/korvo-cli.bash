# bash completion for korvo-cli. The commands and options are read from the
# program's own --help texts, so they are always those of the installed version.

_korvo_cli()
{
    local current=${COMP_WORDS[COMP_CWORD]}
    local program=${COMP_WORDS[0]}
    if [ "$COMP_CWORD" -eq 1 ]; then
        local commands
        commands=$("$program" --help 2>/dev/null | sed -n 's/^  \([a-z][a-z]*\) .*/\1/p')
        COMPREPLY=($(compgen -W "$commands --help --version" -- "$current"))
    elif [[ ${COMP_WORDS[COMP_CWORD-1]} == --image || ${COMP_WORDS[COMP_CWORD-1]} == --format ]]; then
        COMPREPLY=($(compgen -W "iso zip" -- "$current"))
    elif [[ $current == -* ]]; then
        local options
        options=$("$program" "${COMP_WORDS[1]}" --help 2>/dev/null | grep -o -- '--[a-z][a-z-]*' | sort -u)
        COMPREPLY=($(compgen -W "$options" -- "$current"))
    else
        COMPREPLY=($(compgen -f -- "$current"))
        compopt -o filenames 2>/dev/null
    fi
}
complete -F _korvo_cli korvo-cli
