# bash completion for quorbel(1)
_quorbel() {
  local cur prev words cword
  _init_completion || return

  local subcommands="generate count find search info chart dump version raw script"
  local common="-h --help --version -q --quiet -v --verbose --json --no-progress --bytes --utf8 --library"
  local sub="" i
  for ((i = 1; i < cword; i++)); do
    case ${words[i]} in
      --library) ((i++)) ;;
      -*) ;;
      *) sub=${words[i]}; break ;;
    esac
  done

  if [[ $prev == --library ]]; then
    _filedir so
    return
  fi
  if [[ -z $sub ]]; then
    if [[ $cur == -* ]]; then
      COMPREPLY=($(compgen -W "$common" -- "$cur"))
    else
      COMPREPLY=($(compgen -W "$subcommands help" -- "$cur"))
    fi
    return
  fi

  local options=""
  case $sub in
    generate) options="--rename --dry-run -n --no-compress --example --force" ;;
    count) options="--force" ;;
    help) COMPREPLY=($(compgen -W "$subcommands" -- "$cur")); return ;;
  esac
  if [[ $cur == -* ]]; then
    COMPREPLY=($(compgen -W "$options $common" -- "$cur"))
    return
  fi
  [[ $prev == --example ]] && return

  # The positional argument being typed, counted after the subcommand.
  local n=0
  for ((i = i + 1; i < cword; i++)); do
    case ${words[i]} in
      --library | --example) ((i++)) ;;
      -*) ;;
      *) ((n++)) ;;
    esac
  done
  case $sub:$n in
    generate:0 | count:0 | find:0 | search:0 | chart:0) _filedir ini ;;
    generate:1 | count:1 | find:1 | search:1 | chart:1 | dump:0) _filedir -d ;;
    dump:1) _filedir ini ;;
    info:0) _filedir '@(mp3|mp2|MP3|MP2)' ;;
    raw:0) COMPREPLY=($(compgen -W "ZOQ_Status ZOQ_Show ZOQ_Hide ZOQ_CountFiles ZOQ_SetDirectory
        ZOQ_StopGenerate ZOQ_SetEGSong ZOQ_SetIniFile ZOQ_SetAutoRenameBadFiles ZOQ_SetCompress
        ZOQ_BadListCount ZOQ_BadListGet ZOQ_StartUpdateChart ZOQ_StartGenerate ZOQ_SearchFile
        ZOQ_At_Find ZOQ_Dump ZOQ_Compress ZOQ_GetMPEGInfo ZOQ_GetPlayerfromRegistry
        ZOQ_GetDLLVersion" -- "$cur")) ;;
  esac
} && complete -F _quorbel quorbel
