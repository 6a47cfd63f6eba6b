#!/usr/bin/env zsh
# The zsh completion script as an interactive zsh runs it: compinit loads _lumivel from the
# folder it is in, a pseudo-terminal types each line and a Tab, and what completion offered is
# recorded by a wrapper around compadd. The built lumivel answers for the stored domains and
# the cached listing, as in the bash completion test.
emulate -L zsh
setopt err_exit no_unset pipe_fail
script=${1:?usage: zsh_completion_test.zsh COMPLETION-SCRIPT BIN-FOLDER}
bin=${2:?usage: zsh_completion_test.zsh COMPLETION-SCRIPT BIN-FOLDER}
[[ -r $script && ${script:t} == _lumivel ]] || { print -u2 "FAIL: $script is no readable _lumivel"; exit 1 }
work=$(mktemp -d "${TMPDIR:-/tmp}/lumivel-zsh-completion-XXXXXX")
trap 'zpty -d shell 2>/dev/null; rm -rf -- $work' EXIT
export PATH="$bin:$PATH" XDG_CACHE_HOME="$work/cache" LUMIVEL_USER_HIVE="$work/user.hive" HOME="$work" ZDOTDIR="$work"
failures=0

reg add 'HKCU\Software\Tarvo Software\Tarvo Lumivel' /v 'lumivel.test/0b9e6f2c-5d1a-4c3e-9f1b-2a7d8e6c4b10' \
  /t REG_SZ /d lumivel.test /f >/dev/null
reg add 'HKCU\Software\Tarvo Software\Tarvo Lumivel' /v 'other.example/1b9e6f2c-5d1a-4c3e-9f1b-2a7d8e6c4b10' \
  /t REG_SZ /d other.example /f >/dev/null
mkdir -p $XDG_CACHE_HOME/lumivel/tombstones
print -rl -- 5a1d0c3e-0000-4000-8000-000000000001 5a1d0c3e-0000-4000-8000-000000000002 \
  'b$(touch pwned)' 'c`touch pwned`' >$XDG_CACHE_HOME/lumivel/tombstones/lumivel.test

# The shell under test: only compinit and the script's folder, no user's settings. Each match
# completion adds goes into the record, one a line; the calls by which helpers such as
# _describe only sort their words (-O, -A, -D) add nothing and are passed on as they are.
record=$work/record
export LUMIVEL_TEST_RECORD=$record LUMIVEL_TEST_FPATH=${script:h}
cat >$work/.zshrc <<'ZSHRC'
fpath=($LUMIVEL_TEST_FPATH $fpath)
autoload -Uz compinit && compinit -u -d $HOME/zcompdump
compadd() {
  if (( ${@[(I)-[OAD]]} )); then builtin compadd "$@"; return; fi
  local -a hits
  builtin compadd -O hits "$@"
  (( ${#hits} )) && print -rl -- $hits >>$LUMIVEL_TEST_RECORD
  builtin compadd "$@"
}
PROMPT='> '
unsetopt beep
LISTMAX=1000
ZSHRC

zmodload zsh/zpty
zpty shell zsh -i
line=
zpty -r shell line '*> ' || { print -u2 "FAIL: the interactive zsh gave no prompt"; exit 1 }

# Types the words and a Tab, then clears the line and marks the end of the answers; the
# answers are the sorted, distinct matches recorded before the mark.
typeset -i turn=0
complete_line() {
  turn+=1
  : >$record
  zpty -w -n shell "lumivel $1"$'\t'
  zpty -w shell $'\C-e\C-u'"print -r -- @@end-$turn >>${(q)record}"
  local waited=0
  until grep -qx "@@end-$turn" $record 2>/dev/null; do
    (( waited++ < 300 )) || { print -u2 "FAIL: no answer to 'lumivel $1' within 30 s"; exit 1 }
    sleep 0.1
  done
  answers=(${(ou)${(f)"$(grep -vx "@@end-$turn" $record || true)"}})
}

expect() {
  local wanted=$1 typed=$2
  local -a answers
  complete_line $typed
  if [[ ${(j: :)answers} != $wanted ]]; then
    print -u2 -r -- "FAIL: lumivel $typed<Tab> -> '${(j: :)answers}', wanted '$wanted'"
    failures+=1
  fi
}

expect "restore" "res"
expect "backup backups" "back"
expect "--help --verbose --version -v" "-"
expect "--filter --format" "list lumivel.test --f"
expect "json" "list lumivel.test --format j"
expect "lumivel.test" "list lum"
expect "lumivel.test" "-v restore LUM"
expect "5a1d0c3e-0000-4000-8000-000000000001 5a1d0c3e-0000-4000-8000-000000000002" "restore lumivel.test 5a"
expect "5a1d0c3e-0000-4000-8000-000000000001 5a1d0c3e-0000-4000-8000-000000000002" "restore lumivel.test --yes 5a1d0c3e-"
expect "5a1d0c3e-0000-4000-8000-000000000001" "restore LUMIVEL.TEST 5A1D0C3E-0000-4000-8000-000000000001"
# A value of an option is no positional word: the domain is still the one to complete.
expect "other.example" "backup --server dc1.lumivel.test oth"
expect "" "restore other.example "
expect "delete run" "jobs "
expect "mon" "schedule lumivel.test OU=Staff,DC=lumivel,DC=test --weekday mo"
# What the cache holds that is not a plain word never reaches the shell.
expect "" "restore lumivel.test b"
expect "" "restore lumivel.test c"
[[ ! -e pwned && ! -e $work/pwned ]] || { print -u2 "FAIL: a cached word was run"; failures+=1 }

(( failures == 0 )) && print "zsh completion: all answers as expected"
exit $(( failures > 0 ))
