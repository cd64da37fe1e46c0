# SPDX-License-Identifier: MIT
# Bash completion for corvelle-cli: commands, their options and values, port names and .kvf files.
# Uses the helpers of the bash-completion package, which loads this file on first use.

_corvelle_cli_ports() {
  local ports=(TCP/IP FILE USB LPT1: LPT2:) i
  for ((i = 1; i <= 16; i++)); do ports+=("COM$i:"); done
  COMPREPLY=($(compgen -W "${ports[*]}" -- "$cur"))
  __ltrim_colon_completions "$cur"
}

_corvelle_cli() {
  local cur prev words cword
  _init_completion -n : || return

  # The command is the first word after the global options and their values.
  local i command= sub=
  for ((i = 1; i < cword; i++)); do
    case ${words[i]} in
      --program-folder | --profile) ((i++)) ;;
      -*) ;;
      *)
        if [[ -z $command ]]; then
          command=${words[i]}
        elif [[ $command == selection && -z $sub ]]; then
          sub=${words[i]}
        fi
        ;;
    esac
  done

  case $prev in
    --program-folder) _filedir -d; return ;;
    --profile | --output | --ip-list | --inventory) _filedir; return ;;
    --codepage) COMPREPLY=($(compgen -W "0 1 2 3 4 5" -- "$cur")); return ;;
    --speed) COMPREPLY=($(compgen -W "0 1 2 3 4 5" -- "$cur")); return ;;
    --parity) COMPREPLY=($(compgen -W "0 1 2" -- "$cur")); return ;;
    --data-bits | --stop-bits) COMPREPLY=($(compgen -W "0 1" -- "$cur")); return ;;
    --port) [[ $command == ping || $command == scan ]] || _corvelle_cli_ports; return ;;
    --result) COMPREPLY=($(compgen -W "ok stopped failed" -- "$cur")); return ;;
    --ip | --ip-port | --jobs | --at | --last | --site | --name | --retry | --retry-wait | --target | --since) return ;;
  esac

  if [[ -z $command ]]; then
    if [[ $cur == -* ]]; then
      COMPREPLY=($(compgen -W "--program-folder --profile --quiet --version --help" -- "$cur"))
    else
      COMPREPLY=($(compgen -W "catalogue selection build inspect download set-com ping history scan" -- "$cur"))
    fi
    return
  fi

  local options=
  case $command in
    catalogue) options="--codepage --json" ;;
    selection)
      case $sub in
        '') COMPREPLY=($(compgen -W "show add remove clear load save" -- "$cur")); return ;;
        add) options="--codepage --at" ;;
        show) options="--json" ;;
        load | save) [[ $cur != -* ]] && { _filedir kvf; return; } ;;
      esac
      ;;
    build) options="--legacy --output" ;;
    inspect)
      [[ $cur != -* ]] && { _filedir; return; }
      options="--json"
      ;;
    download) options="--legacy --port --ip --ip-port --ip-list --jobs --output --wait --quiet --no-echo-test --json --inventory --site --name --retry --retry-wait --only-failed" ;;
    set-com) options="--port --output --speed --parity --data-bits --stop-bits" ;;
    ping)
      [[ $cur != -* ]] && { _known_hosts_real -- "$cur"; return; }
      options="--port"
      ;;
    history) options="--last --target --result --since --json" ;;
    scan) options="--port --jobs --csv" ;;
    *) return ;;
  esac
  COMPREPLY=($(compgen -W "$options --help" -- "$cur"))
}

complete -F _corvelle_cli corvelle-cli
