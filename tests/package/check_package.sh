#!/usr/bin/env bash
# Builds the Debian package from the build folder given and checks what it installs and what
# its maintainer scripts do: every module and program, the links in /usr/bin, the systemd
# unit and desktop entry naming the installed paths, no run path into the build tree, and
# registration on installation and unregistration on removal.
set -euo pipefail
build="$(cd "${1:?usage: check_package.sh BUILD-FOLDER}" && pwd)"
source_dir="$(cd "$(dirname "$0")/../.." && pwd)"
work="$(mktemp -d "${TMPDIR:-/tmp}/lumivel-package-check-XXXXXX")"
trap 'rm -rf "$work"' EXIT
fail() { echo "check_package: $*" >&2; exit 1; }
# A sanitizer build is for finding memory faults, not for shipping: nothing to package there.
if grep -q "fsanitize" "$build/CMakeCache.txt" 2>/dev/null; then echo "check_package: a sanitizer build, skipped"; exit 77; fi

package="$(LUMIVEL_BUILD_DIR="$build" "$source_dir/scripts/package" "$work")"
[ -f "$package" ] || fail "no package was built"
contents="$(dpkg-deb -c "$package" | awk '{print $6}')"
for file in lumivel reg regsvr lumivel-scheduler System32/wscript libplatform.so libplatform-qt.so \
            RevivoProvider.so RevivoSnapin.so Glossar.so Taxonis revivo.html Revivo_Config.inf; do
  grep -qx "./usr/lib/lumivel/$file" <<<"$contents" || fail "the package lacks /usr/lib/lumivel/$file"
done
for file in ./usr/bin/lumivel ./usr/bin/reg ./usr/bin/regsvr ./lib/systemd/system/lumivel-scheduler.service \
            ./usr/share/applications/tarvo-lumivel.desktop ./usr/share/icons/hicolor/scalable/apps/tarvo-lumivel.svg; do
  grep -qx "$file" <<<"$contents" || fail "the package lacks $file"
done
if grep -q "^\./home\|^\./tmp\|^\./work" <<<"$contents"; then fail "the package holds files outside the system folders"; fi

dpkg-deb -x "$package" "$work/root"
dpkg-deb -e "$package" "$work/control"
grep -qx "ExecStart=/usr/lib/lumivel/lumivel-scheduler" "$work/root/lib/systemd/system/lumivel-scheduler.service" ||
  fail "the unit does not start the installed scheduler"
grep -qx "Exec=/usr/lib/lumivel/lumivel" "$work/root/usr/share/applications/tarvo-lumivel.desktop" ||
  fail "the desktop entry does not start the installed console"
for binary in lumivel regsvr RevivoProvider.so; do
  if readelf -d "$work/root/usr/lib/lumivel/$binary" | grep -E "R(UN)?PATH" | grep -q "$build"; then
    fail "$binary looks for libraries in the build folder"
  fi
done
grep -q "^Package: tarvo-lumivel$" "$work/control/control" || fail "the control file names another package"
grep -q "^Depends: .*libldap" "$work/control/control" || fail "the control file lacks the directory library"
grep -q 'regsvr /s "/usr/lib/lumivel/$server"' "$work/control/postinst" || fail "postinst registers nothing"
grep -q 'RevivoProvider.so' "$work/control/postinst" || fail "postinst leaves the provider out"
grep -q 'regsvr" /s /u "$lib/$server"' "$work/control/prerm" || fail "prerm unregisters nothing"
for script in postinst prerm postrm; do
  [ -x "$work/control/$script" ] || fail "$script is not executable"
  sh -n "$work/control/$script" || fail "$script is no valid shell script"
done

# The account tools, as the maintainer scripts call them, answer from a file of the accounts
# that exist and log every change: the machine's own accounts stay as they are.
stubs="$work/stubs"
accounts="$work/accounts"
mkdir -p "$stubs"
: >"$accounts"
cat >"$stubs/getent" <<'STUB'
#!/bin/sh
grep -qx "$1 $2" "$ACCOUNTS"
STUB
cat >"$stubs/account-tool" <<'STUB'
#!/bin/sh
tool="$(basename "$0")"
for name; do :; done
echo "$tool $*" >>"$ACCOUNTS.log"
case "$tool" in
  groupadd) echo "group $name" >>"$ACCOUNTS" ;;
  useradd) echo "passwd $name" >>"$ACCOUNTS" ;;
  groupdel) sed -i "/^group $name\$/d" "$ACCOUNTS" ;;
  userdel) sed -i "/^passwd $name\$/d" "$ACCOUNTS" ;;
esac
STUB
chmod 0755 "$stubs/account-tool"
for tool in groupadd useradd groupdel userdel; do ln -s account-tool "$stubs/$tool"; done
chmod 0755 "$stubs/getent"
export ACCOUNTS="$accounts"
with_stubs() { PATH="$stubs:$PATH" "$@"; }

# The maintainer scripts against the extracted tree and a private registry: registered by
# postinst, gone again after prerm.
hive="$work/machine.hive"
sed "s|/usr/lib/lumivel|$work/root/usr/lib/lumivel|g" "$work/control/postinst" > "$work/postinst"
sed "s|/usr/lib/lumivel|$work/root/usr/lib/lumivel|g" "$work/control/prerm" > "$work/prerm"
export LUMIVEL_MACHINE_HIVE="$hive" LUMIVEL_USER_HIVE="$work/user.hive"
with_stubs sh "$work/postinst" configure || fail "postinst failed"
grep -qx "group lumivel" "$accounts" && grep -qx "passwd lumivel" "$accounts" || fail "postinst made no account lumivel"
grep -q "^useradd --system --gid lumivel --home-dir /var/lib/lumivel --no-create-home --shell /usr/sbin/nologin" \
  "$accounts.log" || fail "postinst made the account lumivel other than as a system account without a login: $(cat "$accounts.log")"
reg="$work/root/usr/lib/lumivel/reg"
provider_key='HKLM\Software\Classes\CLSID\{499BFD0C-BB2D-4ACC-9FD2-C52C1D8C2236}'
"$reg" query "$provider_key" >/dev/null 2>&1 || fail "postinst did not register the provider"
"$work/root/usr/lib/lumivel/lumivel" --help >/dev/null || fail "the packaged lumivel does not run"
sh "$work/prerm" remove || fail "prerm failed"
# Nothing but the product's registration was in this hive: emptied, it goes with the product.
[ ! -e "$hive" ] || fail "prerm left the machine hive, emptied of its keys, behind"
if "$reg" query "$provider_key" >/dev/null 2>&1; then fail "prerm left the provider registered"; fi

# Other software's keys beside the product's, in the shared branches: removal keeps them, and
# the hive with them.
other_class='HKLM\Software\Classes\CLSID\{0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0}'
other_interfaces='HKLM\Software\Tarvo Software\Tarvo Halcyra\AD\Interfaces'
"$reg" add "$other_class\InprocServer32" /ve /d /opt/other/other.so /f >/dev/null
"$reg" add "$other_interfaces" /v '{0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0}' /d '' /f >/dev/null
"$reg" add 'HKLM\Software\Microsoft\MMC\Snapins\Other' /f >/dev/null
: >"$accounts.log"
with_stubs sh "$work/postinst" configure || fail "postinst failed beside other software's keys"
[ ! -s "$accounts.log" ] || fail "postinst changed the account lumivel that was there: $(cat "$accounts.log")"
sh "$work/prerm" remove || fail "prerm failed beside other software's keys"
"$reg" query "$other_class\InprocServer32" /ve 2>&1 | grep -q /opt/other/other.so || fail "prerm deleted another class"
"$reg" query "$other_interfaces" /v '{0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0}' >/dev/null 2>&1 ||
  fail "prerm deleted another provider's interface entry"
"$reg" query 'HKLM\Software\Microsoft\MMC\Snapins\Other' >/dev/null 2>&1 || fail "prerm deleted another snap-in's key"
if "$reg" query "$provider_key" >/dev/null 2>&1; then fail "prerm left the provider registered beside other classes"; fi
# A purge takes the account with the last job; a job left behind (an installation in
# /usr/local keeps them) keeps it, and so does a removal that is no purge.
purge_root="$work/purge"
sed -e "s|/usr/local/lib/lumivel|@ROOT@/usr/local/lib/lumivel|g" -e "s|/var/|@ROOT@/var/|g" \
  -e "s|/etc/systemd|@ROOT@/etc/systemd|g" -e "s|@ROOT@|$purge_root|g" "$work/control/postrm" >"$work/postrm"
purge() {
  mkdir -p "$purge_root/var/lib/lumivel/tasks" "$purge_root/var/cache/lumivel"
  with_stubs sh "$work/postrm" "$1" || fail "postrm $1 failed"
}
purge remove
grep -qx "passwd lumivel" "$accounts" || fail "a removal that is no purge took the account lumivel"
mkdir -p "$purge_root/usr/local/lib/lumivel" && : >"$purge_root/usr/local/lib/lumivel/lumivel"
: >"$purge_root/var/lib/lumivel/tasks/Kept.job"
purge purge
grep -qx "passwd lumivel" "$accounts" || fail "the purge took the account lumivel while a job is left for it"
[ -e "$purge_root/var/lib/lumivel/tasks/Kept.job" ] || fail "the purge took the jobs of the installation in /usr/local"
rm -rf "$purge_root/usr/local"
purge purge
if grep -q "lumivel" "$accounts"; then fail "the purge left the account lumivel without a job for it"; fi
[ ! -e "$purge_root/var/lib/lumivel/tasks" ] || fail "the purge left the task folder"
echo "check_package: $(basename "$package") is complete"
