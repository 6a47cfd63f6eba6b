#!/usr/bin/env bash
# The bash completion script as the shell runs it, with the built lumivel answering for the
# stored domains and the cached listing.
set -euo pipefail
script="${1:?usage: completion_test.sh COMPLETION-SCRIPT BIN-FOLDER}"
bin="${2:?usage: completion_test.sh COMPLETION-SCRIPT BIN-FOLDER}"
work="$(mktemp -d "${TMPDIR:-/tmp}/lumivel-completion-XXXXXX")"
trap 'rm -rf "$work"' EXIT
export PATH="$bin:$PATH" XDG_CACHE_HOME="$work/cache" LUMIVEL_USER_HIVE="$work/user.hive" HOME="$work"
failures=0

# shellcheck source=/dev/null
source "$script"

# Completes the words given (the last one is the one being typed) and checks the answers.
expect() {
  local wanted="$1"; shift
  COMP_WORDS=(lumivel "$@"); COMP_CWORD=$#; COMPREPLY=()
  _lumivel
  local got="${COMPREPLY[*]}"
  if [ "$got" != "$wanted" ]; then
    echo "FAIL: lumivel $* -> '$got', wanted '$wanted'" >&2
    failures=$((failures + 1))
  fi
}

reg add 'HKCU\Software\Tarvo Software\Tarvo Lumivel' /v 'lumivel.test/0b9e6f2c-5d1a-4c3e-9f1b-2a7d8e6c4b10' \
  /t REG_SZ /d lumivel.test /f >/dev/null
reg add 'HKCU\Software\Tarvo Software\Tarvo Lumivel' /v 'other.example/1b9e6f2c-5d1a-4c3e-9f1b-2a7d8e6c4b10' \
  /t REG_SZ /d other.example /f >/dev/null
mkdir -p "$XDG_CACHE_HOME/lumivel/tombstones"
printf '%s\n' 5a1d0c3e-0000-4000-8000-000000000001 5a1d0c3e-0000-4000-8000-000000000002 \
  'b$(touch pwned)' 'c`touch pwned`' >"$XDG_CACHE_HOME/lumivel/tombstones/lumivel.test"

expect "restore" res
expect "backup backups" back
expect "--format --filter" list lumivel.test --f
expect "json" list lumivel.test --format j
expect "lumivel.test" list lum
expect "lumivel.test" -v restore LUM
expect "5a1d0c3e-0000-4000-8000-000000000001 5a1d0c3e-0000-4000-8000-000000000002" restore lumivel.test 5a
# A value of an option is no positional word: the domain is still the one to complete.
expect "other.example" backup --server dc1.lumivel.test oth
expect "" restore other.example ""
expect "delete run" jobs ""
# What the cache holds that is not a plain word never reaches the shell.
expect "" restore lumivel.test b
expect "" restore lumivel.test c
[ ! -e pwned ] && [ ! -e "$work/pwned" ] || { echo "FAIL: a cached word was run" >&2; failures=$((failures + 1)); }

# A listing kept by list is found again under the name typed.
lumivel __complete tombstones LUMIVEL.TEST 5A1D0C3E-0000-4000-8000-000000000001 | grep -qx 5a1d0c3e-0000-4000-8000-000000000001 ||
  { echo "FAIL: the listing of LUMIVEL.TEST is not that of lumivel.test" >&2; failures=$((failures + 1)); }
if lumivel __complete nonsense 2>/dev/null; then echo "FAIL: an unknown request succeeded" >&2; failures=$((failures + 1)); fi

[ "$failures" -eq 0 ] && echo "completion: all answers as expected"
exit $((failures > 0))
