#!/usr/bin/env bash
# scripts/install-config-files on a configuration folder of its own: what an administrator
# changed or had there before is never overwritten or removed, what the script installed
# unchanged is updated and removed, and no link is followed.
set -euo pipefail
tool="$(cd "$(dirname "$0")/../.." && pwd)/scripts/install-config-files"
work="$(mktemp -d "${TMPDIR:-/tmp}/lumivel-config-files-XXXXXX")"
trap 'rm -rf "$work"' EXIT
export LUMIVEL_CONFIG_DIR="$work/etc/lumivel"
etc="$LUMIVEL_CONFIG_DIR"
record="$work/lib/config-files.sha256"
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
has() { [ -f "$1" ] && [ "$(cat "$1")" = "$2" ] || fail "$1 holds '$(cat "$1" 2>/dev/null)', wanted '$2'"; }

mkdir -p "$work/ship"
ship() { printf '%s\n' "$2" >"$work/ship/$1"; }
ship lumivel.conf "conf 1"
ship Revivo_Config.inf "inf 1"
files=("$work/ship/lumivel.conf" "$work/ship/Revivo_Config.inf")

"$tool" install "$record" "${files[@]}" || fail "the first installation failed"
has "$etc/lumivel.conf" "conf 1"
has "$etc/Revivo_Config.inf" "inf 1"
[ "$(stat -c %a "$etc/lumivel.conf")" = 644 ] || fail "lumivel.conf is not mode 644"
[ -z "$(find "$etc" -name '.*')" ] || fail "temporary files were left in $etc"

# A new version replaces what is still as installed, never what the administrator changed.
echo "edited" >"$etc/lumivel.conf"
ship lumivel.conf "conf 2"
ship Revivo_Config.inf "inf 2"
"$tool" install "$record" "${files[@]}" 2>"$work/err" || fail "the second installation failed"
has "$etc/lumivel.conf" "edited"
has "$etc/Revivo_Config.inf" "inf 2"
grep -q "kept $etc/lumivel.conf" "$work/err" || fail "the kept file was not said"
# Still changed after a third run: the record keeps what was installed, not what is there.
"$tool" install "$record" "${files[@]}" 2>/dev/null
has "$etc/lumivel.conf" "edited"

"$tool" remove "$record" lumivel.conf Revivo_Config.inf 2>"$work/err" || fail "the removal failed"
has "$etc/lumivel.conf" "edited"
[ ! -e "$etc/Revivo_Config.inf" ] || fail "the unchanged Revivo_Config.inf was not removed"
grep -q "kept $etc/lumivel.conf" "$work/err" || fail "the kept file was not said on removal"

# A file that was there before, even one like the shipped, stays the administrator's.
rm -f "$etc/lumivel.conf" "$record"
ship lumivel.conf "conf 3"
cp "$work/ship/lumivel.conf" "$etc/lumivel.conf"
"$tool" install "$record" "${files[@]}"
"$tool" remove "$record" lumivel.conf Revivo_Config.inf 2>/dev/null
has "$etc/lumivel.conf" "conf 3"
[ ! -e "$etc/Revivo_Config.inf" ] || fail "Revivo_Config.inf was not removed"

# A link in the way is neither followed nor replaced.
rm -f "$etc/lumivel.conf" "$record"
echo "elsewhere" >"$work/elsewhere"
ln -s "$work/elsewhere" "$etc/lumivel.conf"
"$tool" install "$record" "${files[@]}" 2>/dev/null
[ -L "$etc/lumivel.conf" ] || fail "the link lumivel.conf was replaced"
has "$work/elsewhere" "elsewhere"
"$tool" remove "$record" lumivel.conf 2>/dev/null
[ -L "$etc/lumivel.conf" ] || fail "the link lumivel.conf was removed"
rm -rf "$etc"
ln -s "$work/elsewhere-dir" "$etc"
mkdir "$work/elsewhere-dir"
if "$tool" install "$record" "${files[@]}" 2>/dev/null; then fail "a linked configuration folder was taken"; fi
[ -z "$(ls -A "$work/elsewhere-dir")" ] || fail "files were written through the linked configuration folder"

[ "$failures" -eq 0 ] && echo "install-config-files: all as expected"
exit $((failures > 0))
