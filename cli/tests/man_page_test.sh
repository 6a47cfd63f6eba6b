#!/usr/bin/env bash
# The manual page as `man` shows it, against what the built lumivel accepts: every command its
# --help lists has a section, and every option that command's --help names is in that section
# as one types it (and searches for it in the pager); the options of the program itself are
# among the common ones. What the page's source holds is lumivel_manual_test's to check.
set -euo pipefail
page="${1:?usage: man_page_test.sh MANUAL-PAGE BIN-FOLDER}"
lumivel="${2:?usage: man_page_test.sh MANUAL-PAGE BIN-FOLDER}/lumivel"
work="$(mktemp -d "${TMPDIR:-/tmp}/lumivel-man-XXXXXX")"
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# Rendered as a UTF-8 terminal would get it, wide enough that no option is hyphenated, with
# the bold and underlining taken out.
LC_ALL=C.UTF-8 MANWIDTH=250 MAN_KEEP_FORMATTING= man --local-file --no-hyphenation --no-justification "$page" \
  2>"$work/man.err" | col -bx >"$work/page.txt" || { cat "$work/man.err" >&2; fail "man cannot show $page"; }
[ -s "$work/page.txt" ] || { echo "FAIL: man showed nothing of $page" >&2; exit 1; }

# A sub-section: from its heading line ("   WORD") to the next heading of either level.
section() {
  awk -v word="$1" '
    $0 == "   " word { inside = 1; next }
    inside && (/^[^ ]/ || /^   [^ ]/) { exit }
    inside { print }' "$work/page.txt"
}
# An option as a word of the text, ASCII hyphens and all.
names() { grep -qE -- "(^|[^[:alnum:]-])$1([^[:alnum:]-]|$)" <<<"$2"; }

commands="$("$lumivel" --help | awk '/^Commands:/ { on = 1; next } on && /^  [a-z]/ { print $1 } on && !/^  / { exit }')"
[ -n "$commands" ] || fail "lumivel --help lists no commands"
for command in $commands; do
  text="$(section "$command")"
  if [ -z "$text" ]; then fail "the page has no section for $command"; continue; fi
  options="$("$lumivel" "$command" --help |
    awk '/^Options:/ { on = 1; next } /^Example:/ { on = 0 } on' | grep -oE -- '^ +(-[[:alnum:]], )?--[[:alnum:]-]+' |
    tr ',' '\n' | tr -d ' ')"
  [ -n "$options" ] || fail "lumivel $command --help names no option"
  for option in $options; do
    names "$option" "$text" || fail "the section of $command does not name $option"
  done
done

# What every command and the program itself take.
common="$(awk '$0 == "COMMON OPTIONS" { on = 1; next } on && /^[^ ]/ { exit } on' "$work/page.txt")"
for option in -v --verbose -h --help -V --version; do
  names "$option" "$common" || fail "COMMON OPTIONS does not name $option"
done
"$lumivel" --version >/dev/null || fail "lumivel --version failed"
"$lumivel" -V >/dev/null || fail "lumivel -V failed"

[ "$failures" -eq 0 ] && echo "man page: every command and option as lumivel takes them"
exit $((failures > 0))
