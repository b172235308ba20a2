# bash completion for vesk: commands, each command's options, and files
# where an option takes one.
_vesk() {
    local cur prev words cword
    _init_completion || return
    if [ "$cword" -eq 1 ]; then
        COMPREPLY=($(compgen -W 'pack inspect verify unpack --help --version' -- "$cur"))
        return
    fi
    case $prev in
        -o|--output|--stub|--product|--runtime-nt|--runtime-9x|--sign-cert|--sign-key|--sign-pass|--ca-file)
            _filedir; return ;;
        --splash) _filedir bmp; return ;;
        --icon) _filedir ico; return ;;
        -d|--directory) _filedir -d; return ;;
        --arch) COMPREPLY=($(compgen -W 'x86 x64' -- "$cur")); return ;;
        --execution-level)
            COMPREPLY=($(compgen -W 'asInvoker highestAvailable requireAdministrator' -- "$cur")); return ;;
        --codepage) COMPREPLY=($(compgen -W '874 932 936 949 950 1250 1251 1252 1253 1254 1255 1256 1257 1258' -- "$cur")); return ;;
        --product-code|--product-version|--product-name|--transform-base|--runtime-version|--set|--timestamp|--sign-timeout)
            return ;;
    esac
    local options
    case ${words[1]} in
        pack) options='--output --arch --stub --product --product-code --product-version --product-name
            --transform-base --runtime-nt --runtime-9x --runtime-version --codepage --splash --icon --execution-level
            --set --no-size-check --sign-cert --sign-key --sign-pass --timestamp --sign-timeout --nest-sign --quiet --verbose --help' ;;
        inspect) options='--json --help' ;;
        verify) options='--json --ca-file --help' ;;
        unpack) options='--directory --force --help' ;;
        --version) options='--verbose' ;;
    esac
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
    else
        _filedir
    fi
}
complete -F _vesk vesk
