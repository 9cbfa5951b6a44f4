# fish completion for korvo-cli, read from the program's own --help texts.

function __korvo_cli_commands
    korvo-cli --help 2>/dev/null | string replace -rf '^  ([a-z]+) +(.*)$' '$1\t$2'
end

function __korvo_cli_options
    set -l words (commandline -opc)
    korvo-cli $words[2] --help 2>/dev/null | string match -ra -- '--[a-z][a-z-]*' | sort -u
end

complete -c korvo-cli -n '__fish_use_subcommand' -f -a '(__korvo_cli_commands)'
complete -c korvo-cli -n '__fish_use_subcommand' -f -a '--help --version'
complete -c korvo-cli -n 'not __fish_use_subcommand' -a '(__korvo_cli_options)'
complete -c korvo-cli -l image -x -a 'iso zip'
complete -c korvo-cli -l format -x -a 'iso zip'
