# bash completion for stillweaver-cli
_stillweaver_cli() {
  local cur prev command
  COMPREPLY=()
  cur=${COMP_WORDS[COMP_CWORD]}
  prev=${COMP_WORDS[COMP_CWORD-1]}
  command=${COMP_WORDS[1]}
  local commands="make check codecs info framemd5 export help"
  if [[ $COMP_CWORD -eq 1 ]]; then
    COMPREPLY=($(compgen -W "$commands --help --version" -- "$cur"))
    return
  fi
  case $prev in
    -o) COMPREPLY=($(compgen -f -X '!*.[aA][vV][iI]' -- "$cur")); compopt -o plusdirs 2>/dev/null; return ;;
    --list) COMPREPLY=($(compgen -f -- "$cur")); return ;;
    --dir) COMPREPLY=($(compgen -d -- "$cur")); return ;;
    --codec)
      COMPREPLY=($(compgen -W "$(stillweaver-cli codecs 2>/dev/null | cut -f1)" -- "$cur"))
      return ;;
    --cols|--rows) COMPREPLY=($(compgen -W "auto" -- "$cur")); return ;;
    --range) COMPREPLY=($(compgen -W "10 12 14 16 auto" -- "$cur")); return ;;
    --sort) COMPREPLY=($(compgen -W "name time" -- "$cur")); return ;;
    --names) COMPREPLY=($(compgen -W "source index" -- "$cur")); return ;;
    --fps|--hold|--first|--last) return ;;
  esac
  local options=""
  case $command in
    make) options="-o --cols --rows --fps --hold --clip --fit --range --codec --quality --keyint --sort --list --verify --help" ;;
    check) options="--fps --list --help" ;;
    codecs) options="--help" ;;
    info) options="--frames --help" ;;
    framemd5) options="--help" ;;
    export) options="--first --last --dir --names --help" ;;
    help) COMPREPLY=($(compgen -W "$commands" -- "$cur")); return ;;
  esac
  if [[ $cur == -* ]]; then
    COMPREPLY=($(compgen -W "$options" -- "$cur"))
  elif [[ $command == make || $command == check ]]; then
    COMPREPLY=($(compgen -f -- "$cur"))
  elif [[ $command != codecs ]]; then
    COMPREPLY=($(compgen -f -X '!*.[aA][vV][iI]' -- "$cur")); compopt -o plusdirs 2>/dev/null
  fi
}
complete -F _stillweaver_cli stillweaver-cli
