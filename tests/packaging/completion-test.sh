#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Drives the bash completion of corvelle-cli as bash would on TAB and checks what it offers:
# commands, sub-commands, option values, port names and .kvf files. The commands and each
# command's options are taken from the built program's --help, so a command or option added
# there without its completion fails here.
#
# Usage: completion-test.sh COMPLETION_FILE CORVELLE_CLI
set -uo pipefail
completion=$(realpath "$1")
cli=$(realpath "$2")
library=/usr/share/bash-completion/bash_completion
[ -f "$library" ] || { echo "FAIL: bash-completion is not installed ($library)" >&2; exit 1; }
# shellcheck source=/dev/null
source "$library"
# shellcheck source=/dev/null
source "$completion"

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# Completes LINE (the cursor at its end; a trailing space starts a new word) and prints the
# offers sorted, one a line.
offers() {
  local line=$1
  read -ra COMP_WORDS <<<"$line"
  [[ $line == *' ' ]] && COMP_WORDS+=("")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMP_LINE=$line
  COMP_POINT=${#line}
  COMPREPLY=()
  _corvelle_cli corvelle-cli "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
  printf '%s\n' "${COMPREPLY[@]}" | sort
}

# expect LINE OFFER... : exactly these offers.
expect() {
  local line=$1
  shift
  local want got
  want=$(printf '%s\n' "$@" | sort)
  got=$(offers "$line")
  [ "$got" = "$want" ] || fail "'$line<TAB>' offers [$(echo $got)], expected [$(echo $want)]"
}

# The commands, as the program lists them.
mapfile -t commands < <("$cli" --help | sed -n '/^Commands:/,/^$/s/^  \([a-z-]*\) .*/\1/p')
[ ${#commands[@]} -ge 7 ] || fail "corvelle-cli --help lists ${#commands[@]} commands"
expect "corvelle-cli " "${commands[@]}"
expect "corvelle-cli dow" download
expect "corvelle-cli se" selection set-com
expect "corvelle-cli --profile my.ini --program-folder /tmp se" selection set-com
expect "corvelle-cli --pro" --profile --program-folder

# Each command offers every option its --help names in the usage line(s).
for command in "${commands[@]}"; do
  [ "$command" = selection ] && continue
  mapfile -t options < <("$cli" "$command" --help | sed -n '/^Usage:/,/^$/p' | grep -o -- '--[a-z-]*' | sort -u)
  expect "corvelle-cli $command --" "${options[@]}" --help
done
expect "corvelle-cli selection " show add remove clear load save
expect "corvelle-cli selection add --" --at --codepage --help
expect "corvelle-cli selection show --" --json --help
expect "corvelle-cli --q" --quiet

# Option values and port names.
expect "corvelle-cli catalogue --codepage " 0 1 2 3 4 5
expect "corvelle-cli set-com --parity " 0 1 2
expect "corvelle-cli set-com --speed 2 --stop-bits " 0 1
expect "corvelle-cli download --port T" TCP/IP
expect "corvelle-cli download --port LPT" LPT1: LPT2:
expect "corvelle-cli download --port COM1" COM1: COM10: COM11: COM12: COM13: COM14: COM15: COM16:
[ "$(offers "corvelle-cli download --port " | wc -l)" -eq 21 ] || fail "not 21 port names"

# .kvf files (and folders to reach them) for load and save, any file for inspect.
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir "$scratch/sub"
touch "$scratch/office.kvf" "$scratch/HOME.KVF" "$scratch/notes.txt" "$scratch/FontSet.SHC"
cd "$scratch" || exit 1
expect "corvelle-cli selection load " HOME.KVF office.kvf sub
expect "corvelle-cli --profile p.ini selection save o" office.kvf
expect "corvelle-cli inspect F" FontSet.SHC

if [ $failures -ne 0 ]; then
  echo "$failures completion checks failed" >&2
  exit 1
fi
echo "completion: all checks passed"
