#!/usr/bin/env bash
# lumivel config as an administrator reads it: each setting's value and where it came from,
# through the user's policy, the machine's file, the environment and the defaults.
set -euo pipefail
bin="${1:?usage: config_command_test.sh BIN-FOLDER}"
work="$(mktemp -d "${TMPDIR:-/tmp}/lumivel-config-XXXXXX")"
trap 'rm -rf "$work"' EXIT
export LUMIVEL_USER_HIVE="$work/user.hive" LUMIVEL_CONFIG_DIR="$work/etc"
unset LUMIVEL_LDAP_CONNECT_TIMEOUT LUMIVEL_LDAP_OPERATION_TIMEOUT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# The setting's value and origin, tab-separated.
setting() { "$bin/lumivel" config --format tsv 2>"$work/stderr" | awk -F'\t' -v key="$1" '$1 == key { print $2 "\t" $3 }'; }
expect() {
  local got
  got="$(setting "$1")"
  [ "$got" = "$2"$'\t'"$3" ] || fail "$1: '$got', wanted '$2<TAB>$3'"
}

# Nothing configured: the defaults, and no file is no problem.
# TSV writes a backslash as two.
expect BackupFolder '\\\\DC\\sysvol\\Tarvo Lumivel' 'default (DC: the domain controller in use)'
expect LdapConnectTimeout 10 default
[ ! -s "$work/stderr" ] || fail "a missing file was reported: $(cat "$work/stderr")"

mkdir -p "$work/etc"
printf '%s\n' '# test' 'BackupFolder = /srv/machine' 'LdapConnectTimeout = 25' 'LdapOperationTimeout = 60' \
  'Site = branch' 'Sitee = typo' 'SitePingTimeout = soon' >"$work/etc/lumivel.conf"
expect BackupFolder /srv/machine "$work/etc/lumivel.conf:2"
expect LdapConnectTimeout 25 "$work/etc/lumivel.conf:3"
expect Site branch "$work/etc/lumivel.conf:5"
expect SitePingTimeout 1500 default
grep -q "lumivel.conf: line 6: unknown key 'Sitee'" "$work/stderr" || fail "the unknown key was not said: $(cat "$work/stderr")"
grep -q "lumivel.conf: line 7: SitePingTimeout takes" "$work/stderr" || fail "the bad value was not said"

# The environment before the file; the user's policy before the machine's folder.
LUMIVEL_LDAP_OPERATION_TIMEOUT=5 expect LdapOperationTimeout 5 LUMIVEL_LDAP_OPERATION_TIMEOUT
"$bin/reg" add 'HKCU\Software\Policies\Tarvo Software\Tarvo Lumivel' /v FileLocation /d /srv/mine /f >/dev/null
expect BackupFolder /srv/mine 'policy HKEY_CURRENT_USER\\Software\\Policies\\Tarvo Software\\Tarvo Lumivel\\FileLocation'

# The machine's restricted attributes once it has its own copy.
expect RestrictedAttributes "$bin/Revivo_Config.inf" 'default (the copy beside the modules)'
printf '[Restricted.Attributes]\r\n' >"$work/etc/Revivo_Config.inf"
expect RestrictedAttributes "$work/etc/Revivo_Config.inf" "the machine's copy"

# A file that is no configuration file is said, and the defaults stand.
rm "$work/etc/lumivel.conf" && mkdir "$work/etc/lumivel.conf"
expect LdapConnectTimeout 10 default
grep -q "not a regular file" "$work/stderr" || fail "a folder in the file's place was not said"

"$bin/lumivel" config --format json 2>/dev/null | grep -q '"command": *"config"' || fail "no JSON document"

[ "$failures" -eq 0 ] && echo "config: every setting from where it should come"
exit $((failures > 0))
