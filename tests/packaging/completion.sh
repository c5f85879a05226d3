#!/usr/bin/env bash
# The bash completion, asked as bash asks it, against the built command: each
# case is the words typed so far and a word the answers must (or, after !,
# must not) hold.
# usage: completion.sh SOURCE_DIR CORABIND
set -uo pipefail
src=$1
corabind=$2
# shellcheck source=/dev/null
source "$src/packaging/bash-completion/corabind"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/mail"
touch "$work/mail/news.html" "$work/mail/logo.png"
cd "$work"
failed=0
check() {  # check EXPECTED WORD...
  local expected=$1 got
  shift
  COMP_WORDS=("$corabind" "$@")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMPREPLY=()
  _corabind
  got=" ${COMPREPLY[*]} "
  if [[ $expected == !* ]]; then
    [[ $got != *" ${expected#!} "* ]] && return
  else
    [[ $got == *" $expected "* ]] && return
  fi
  echo "FAIL: corabind $* -> [${COMPREPLY[*]}], expected $expected"
  failed=1
}
check compose co
check serve se
check !compose se
check --version --v
check --subject compose --sub
check --output compose -
check --no-display serve --no
check !--subject serve --
check try send --tls ""
check RADIO field ra
check mail/news.html compose mail/
check !mail/logo.png compose mail/
check mail/logo.png compose -o mail/
check mail serve --folder m
check !--from compose --charset ""
((failed)) && exit 1
echo "completion: all cases pass"
