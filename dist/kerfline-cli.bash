# bash completion for kerfline-cli: its commands, their options, and .mp3 files,
# cue sheets or folders where an option takes one.

_kerfline_cli() {
    local cur prev words cword
    _init_completion || return

    local command="" i
    for ((i = 1; i < cword; i++)); do
        case ${words[i]} in
            --) break ;;
            info | split | cue | chapters | join | verify)
                command=${words[i]}
                break
                ;;
        esac
    done

    case $prev in
        -o | --out)
            # join and chapters write one file, split a folder of them.
            if [[ $command == join || $command == chapters ]]; then
                _filedir '@(mp3|MP3)'
            else
                _filedir -d
            fi
            return
            ;;
        --cue)
            _filedir cue
            return
            ;;
        -n | --parts | --overlap | --section | --pause-db | --pause-min | --template)
            return
            ;;
    esac

    local sections="--cue --chapters --section -n --parts --overlap --at-pauses --pause-db --pause-min"
    local options
    case $command in
        "") options="info split cue chapters join verify -h --help --version" ;;
        info) options="--preload --json -h --help" ;;
        split) options="$sections -o --out --template --no-info-frame --id3v2
            --rebuild-info-frame --preload --overwrite -q --quiet --json -h --help" ;;
        cue) options="$sections --preload -h --help" ;;
        chapters) options="$sections -o --out --overwrite --preload -h --help" ;;
        join) options="-o --out --overwrite -h --help" ;;
        verify) options="--json -h --help" ;;
    esac

    if [[ -z $command || $cur == -* ]]; then
        mapfile -t COMPREPLY < <(compgen -W "$options" -- "$cur")
        return
    fi
    _filedir '@(mp3|MP3|mp2|MP2|mpa|MPA)'
} &&
    complete -F _kerfline_cli kerfline-cli
