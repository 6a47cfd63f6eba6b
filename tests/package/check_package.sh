#!/usr/bin/env bash
# Builds the Debian package from the build folder given and checks what it holds and what its
# maintainer scripts do: every module and program, the links in /usr/bin, the systemd unit and
# desktop entry naming the installed paths, the documentation, md5sums and conffiles, no run
# path into the build tree, what lintian says of it (any error fails), and the maintainer
# scripts as debhelper completed them, run against the unpacked tree as their root: the
# account, registration on installation and unregistration on removal, the unit enabled and
# started, restarted and never stopped by an upgrade, stopped on removal, and a purge that
# removes what the package made and nothing that was there before it.
set -euo pipefail
build="$(cd "${1:?usage: check_package.sh BUILD-FOLDER}" && pwd)"
source_dir="$(cd "$(dirname "$0")/../.." && pwd)"
work="$(mktemp -d "${TMPDIR:-/tmp}/lumivel-package-check-XXXXXX")"
trap 'rm -rf "$work"' EXIT
fail() { echo "check_package: $*" >&2; exit 1; }
# A sanitizer build is for finding memory faults, not for shipping: nothing to package there.
if grep -q "fsanitize" "$build/CMakeCache.txt" 2>/dev/null; then echo "check_package: a sanitizer build, skipped"; exit 77; fi
for tool in lintian logrotate; do
  command -v "$tool" >/dev/null || fail "$tool is not installed (scripts/install-deps installs it)"
done

package="$(LUMIVEL_BUILD_DIR="$build" "$source_dir/scripts/package" "$work")"
[ -f "$package" ] || fail "no package was built"
contents="$(dpkg-deb -c "$package" | awk '{print $6}')"
for file in lumivel reg regsvr lumivel-scheduler System32/wscript libplatform.so libplatform-qt.so \
            RevivoProvider.so RevivoSnapin.so Glossar.so Taxonis revivo.html Revivo_Config.inf; do
  grep -qx "./usr/lib/lumivel/$file" <<<"$contents" || fail "the package lacks /usr/lib/lumivel/$file"
done
readonly doc=./usr/share/doc/tarvo-lumivel
for file in ./usr/bin/lumivel ./lib/systemd/system/lumivel-scheduler.service \
            ./usr/share/man/man1/lumivel.1.gz ./usr/share/man/man8/lumivel-scheduler.8.gz \
            ./usr/share/bash-completion/completions/lumivel ./usr/share/zsh/vendor-completions/_lumivel \
            ./usr/share/man/man5/lumivel.conf.5.gz ./etc/lumivel/lumivel.conf ./etc/lumivel/Revivo_Config.inf \
            ./usr/share/applications/tarvo-lumivel.desktop ./usr/share/icons/hicolor/scalable/apps/tarvo-lumivel.svg \
            ./etc/logrotate.d/tarvo-lumivel "$doc/copyright" "$doc/changelog.Debian.gz" "$doc/README.md.gz"; do
  grep -qx "$file" <<<"$contents" || fail "the package lacks $file"
done
# The registry tools are the installation's own: no user needs them on the PATH.
if grep -q "^\./usr/bin/reg" <<<"$contents"; then fail "the package puts reg or regsvr into /usr/bin"; fi
if grep -q "^\./home\|^\./tmp\|^\./work" <<<"$contents"; then fail "the package holds files outside the system folders"; fi
if dpkg-deb -c "$package" | grep -q "^l.*-> /"; then fail "the package holds links that lead out of it: $(dpkg-deb -c "$package" | grep "^l.*-> /")"; fi

dpkg-deb -x "$package" "$work/root"
dpkg-deb -e "$package" "$work/control"
grep -qx "ExecStart=/usr/lib/lumivel/lumivel-scheduler" "$work/root/lib/systemd/system/lumivel-scheduler.service" ||
  fail "the unit does not start the installed scheduler"
grep -qx "Exec=/usr/lib/lumivel/lumivel" "$work/root/usr/share/applications/tarvo-lumivel.desktop" ||
  fail "the desktop entry does not start the installed console"
grep -qx "/var/log/lumivel/audit.log {" "$work/root/etc/logrotate.d/tarvo-lumivel" || fail "the logrotate file does not rotate the audit log"
# A file logrotate cannot read stops it rotating every other log of the machine too.
logrotate --debug --state "$work/logrotate.state" "$work/root/etc/logrotate.d/tarvo-lumivel" >"$work/logrotate.txt" 2>&1 ||
  { cat "$work/logrotate.txt" >&2; fail "logrotate does not accept the package's logrotate file"; }
for binary in lumivel regsvr RevivoProvider.so System32/wscript; do
  if readelf -d "$work/root/usr/lib/lumivel/$binary" | grep -E "R(UN)?PATH" | grep -q "$build"; then
    fail "$binary looks for libraries in the build folder"
  fi
done
readelf -d "$work/root/usr/lib/lumivel/System32/wscript" | grep -Eq 'R(UN)?PATH.*\[\$ORIGIN/\.\.\]' ||
  fail "the script host does not look for the platform in its parent folder"
if readelf -S "$work/root/usr/lib/lumivel/libplatform.so" | grep -q "\.debug_info"; then fail "the package holds debug information"; fi

control="$work/control/control"
grep -q "^Package: tarvo-lumivel$" "$control" || fail "the control file names another package"
version="$(sed -n 's/^project(TarvoLumivel VERSION \([0-9.]*\).*/\1/p' "$source_dir/CMakeLists.txt")"
grep -qx "Version: $version-[0-9]*" "$control" || fail "the package's version is not the product's $version: $(grep ^Version: "$control")"
grep -q "^Depends: .*libldap-2\.5-0 (>= " "$control" || fail "the dependencies were not found from the linked libraries: $(grep ^Depends: "$control")"
grep -q "^Depends: .*libsasl2-modules-gssapi-mit" "$control" || fail "the package does not depend on the SASL GSSAPI plugin"
for conffile in /etc/logrotate.d/tarvo-lumivel /etc/lumivel/lumivel.conf /etc/lumivel/Revivo_Config.inf; do
  grep -qx "$conffile" "$work/control/conffiles" || fail "$conffile is no conffile"
done
(cd "$work/root" && md5sum --check --quiet "$work/control/md5sums") || fail "the md5sums do not match the files"
[ "$(grep -c . "$work/control/md5sums")" -eq "$(find "$work/root" -type f ! -path "$work/root/etc/*" | wc -l)" ] ||
  fail "md5sums does not list every file outside /etc"
for script in preinst postinst prerm postrm; do
  [ -x "$work/control/$script" ] || fail "$script is not executable"
  sh -n "$work/control/$script" || fail "$script is no valid shell script"
done
grep -q 'regsvr /s "/usr/lib/lumivel/$server"' "$work/control/postinst" || fail "postinst registers nothing"
grep -q 'RevivoProvider.so' "$work/control/postinst" || fail "postinst leaves the provider out"
grep -q 'regsvr" /s /u "$lib/$server"' "$work/control/prerm" || fail "prerm unregisters nothing"

# Lintian's word on the package, as it is: errors fail, warnings and notes are shown.
lintian_status=0
lintian --pedantic --display-info --fail-on error "$package" >"$work/lintian.txt" 2>&1 || lintian_status=$?
echo "check_package: lintian says:" >&2
grep -v "running with root privileges" "$work/lintian.txt" | sed 's/^/  /' >&2 || true
if grep -q "no-manual-page" "$work/lintian.txt"; then fail "a program of /usr/bin has no manual page"; fi
[ "$lintian_status" -eq 0 ] || fail "lintian reports errors or could not check the package (exit code $lintian_status)"

# The maintainer scripts run with the unpacked tree as their root: the product's folders, the
# unit's enablement and /run/systemd/system (here, so they take systemd for running) are moved
# into it; the account's home keeps its name. deb-systemd-helper is the real one, working on that root; systemctl and
# deb-systemd-invoke are stand-ins that log each call, and so are the account tools, which
# answer from a file of the accounts that exist: the machine's own accounts and services stay
# as they are.
root="$work/root"
mkdir -p "$root/run/systemd/system"
for script in preinst postinst prerm postrm; do
  sed -e "s#--home-dir /#--home-dir @SLASH@#" \
      -e "s#\(/usr/local/lib/lumivel\|/usr/lib/lumivel\|/var/\|/etc/systemd\|/run/systemd/system\)#$root\1#g" \
      -e "s#@SLASH@#/#" "$work/control/$script" >"$work/$script"
done
stubs="$work/stubs"
accounts="$work/accounts"
calls="$work/calls"
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
cat >"$stubs/logged" <<'STUB'
#!/bin/sh
echo "$(basename "$0") $*" >>"$CALLS"
STUB
cat >"$stubs/deb-systemd-helper" <<'STUB'
#!/bin/sh
echo "deb-systemd-helper $*" >>"$CALLS"
DPKG_ROOT="$SYSTEMD_ROOT" exec /usr/bin/deb-systemd-helper "$@"
STUB
chmod 0755 "$stubs"/*
for tool in groupadd useradd groupdel userdel; do ln -s account-tool "$stubs/$tool"; done
for tool in systemctl deb-systemd-invoke; do ln -s logged "$stubs/$tool"; done
[ -x /usr/bin/deb-systemd-helper ] || fail "deb-systemd-helper is not installed (init-system-helpers)"
export ACCOUNTS="$accounts" CALLS="$calls" SYSTEMD_ROOT="$root"
export LUMIVEL_MACHINE_HIVE="$work/machine.hive" LUMIVEL_USER_HIVE="$work/user.hive"
# Runs the maintainer script $1 with the arguments dpkg gives it, its systemd calls logged
# afresh.
run() {
  local script="$1"
  shift
  : >"$calls"
  DPKG_MAINTSCRIPT_PACKAGE=tarvo-lumivel DPKG_MAINTSCRIPT_NAME="$script" PATH="$stubs:$PATH" sh "$work/$script" "$@" ||
    fail "$script $* failed"
}
called() { grep -qx "$1" "$calls"; }
readonly unit=lumivel-scheduler.service
readonly wants="$root/etc/systemd/system/multi-user.target.wants/$unit"
readonly state="$root/var/lib/lumivel"
readonly tasks="$state/tasks"
readonly version_installed="$(sed -n 's/^Version: //p' "$control")"
reg="$root/usr/lib/lumivel/reg"
provider_key='HKLM\Software\Classes\CLSID\{499BFD0C-BB2D-4ACC-9FD2-C52C1D8C2236}'

# A first installation: the account made, the servers registered, the unit enabled and started.
run preinst install
run postinst configure
grep -qx "group lumivel" "$accounts" && grep -qx "passwd lumivel" "$accounts" || fail "postinst made no account lumivel"
grep -q "^useradd --system --gid lumivel --home-dir /var/lib/lumivel --no-create-home --shell /usr/sbin/nologin" \
  "$accounts.log" || fail "postinst made the account lumivel other than as a system account without a login: $(cat "$accounts.log")"
"$reg" query "$provider_key" >/dev/null 2>&1 || fail "postinst did not register the provider"
"$root/usr/lib/lumivel/lumivel" --help >/dev/null || fail "the packaged lumivel does not run"
[ -L "$wants" ] || fail "postinst did not enable the unit: $(cat "$calls")"
called "deb-systemd-invoke start $unit" || fail "postinst did not start the scheduler: $(cat "$calls")"

# An upgrade over itself, in dpkg's order, with a job scheduled: the scheduler keeps running
# through it and is restarted at its end, and the job, the enablement and the registration
# are as they were.
mkdir -p "$tasks"
printf 'a job\n' >"$tasks/Nightly.job"
cp -a "$state/found-before-package" "$work/note"
run prerm upgrade "$version_installed"
if grep -q " stop" "$calls"; then fail "prerm stops the scheduler for an upgrade: $(cat "$calls")"; fi
run preinst upgrade "$version_installed"
run postrm upgrade "$version_installed"
if grep -q " stop" "$calls"; then fail "postrm stops the scheduler for an upgrade: $(cat "$calls")"; fi
run postinst configure "$version_installed"
called "deb-systemd-invoke restart $unit" || fail "postinst did not restart the scheduler after the upgrade: $(cat "$calls")"
[ -L "$wants" ] || fail "the upgrade disabled the unit"
[ "$(cat "$tasks/Nightly.job")" = "a job" ] || fail "the upgrade lost the scheduled job"
"$reg" query "$provider_key" >/dev/null 2>&1 || fail "the provider is not registered after the upgrade"
diff -r "$work/note" "$state/found-before-package" >/dev/null || fail "the upgrade changed what preinst had found before the installation"

# Removal stops the scheduler and unregisters the servers; the hive, holding nothing but the
# product's registration, goes with it. The account, the job and the enablement stay.
run prerm remove
called "deb-systemd-invoke stop $unit" || fail "prerm did not stop the scheduler on removal: $(cat "$calls")"
[ ! -e "$LUMIVEL_MACHINE_HIVE" ] || fail "prerm left the machine hive, emptied of its keys, behind"
if "$reg" query "$provider_key" >/dev/null 2>&1; then fail "prerm left the provider registered"; fi
run postrm remove
grep -qx "passwd lumivel" "$accounts" || fail "a removal that is no purge took the account lumivel"
[ -e "$tasks/Nightly.job" ] || fail "a removal that is no purge took the scheduled job"

# The purge takes what the package made: the job scheduled while it was installed, the
# folders, the enablement and the account.
run postrm purge
called "deb-systemd-helper purge $unit" || fail "postrm did not purge the unit's enablement: $(cat "$calls")"
[ ! -e "$wants" ] || fail "the purge left the unit enabled"
[ ! -e "$state" ] || fail "the purge left $(find "$state" | sed "s|$root||" | tr '\n' ' ')"
if grep -q "lumivel" "$accounts"; then fail "the purge left the account lumivel without a job for it"; fi

# Other software's keys beside the product's, in the shared branches: removal keeps them, and
# the hive with them.
other_class='HKLM\Software\Classes\CLSID\{0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0}'
other_interfaces='HKLM\Software\Tarvo Software\Tarvo Halcyra\AD\Interfaces'
"$reg" add "$other_class\InprocServer32" /ve /d /opt/other/other.so /f >/dev/null
"$reg" add "$other_interfaces" /v '{0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0}' /d '' /f >/dev/null
"$reg" add 'HKLM\Software\Microsoft\MMC\Snapins\Other' /f >/dev/null
run preinst install
run postinst configure
run prerm remove
"$reg" query "$other_class\InprocServer32" /ve 2>&1 | grep -q /opt/other/other.so || fail "prerm deleted another class"
"$reg" query "$other_interfaces" /v '{0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0}' >/dev/null 2>&1 ||
  fail "prerm deleted another provider's interface entry"
"$reg" query 'HKLM\Software\Microsoft\MMC\Snapins\Other' >/dev/null 2>&1 || fail "prerm deleted another snap-in's key"
if "$reg" query "$provider_key" >/dev/null 2>&1; then fail "prerm left the provider registered beside other classes"; fi
run postrm purge

# What was there before the first installation (a build's scheduler ran as root: its jobs, a
# cache, the account; a job's name may hold a line feed) stays through install, upgrade and
# purge; what came while the package was installed goes.
mkdir -p "$tasks" "$root/var/cache/lumivel"
: >"$tasks/Before.job"
: >"$tasks/Two
lines.job"
: >"$root/var/cache/lumivel/before.idx"
printf 'group lumivel\npasswd lumivel\n' >"$accounts"
: >"$accounts.log"
run preinst install
run postinst configure
[ ! -s "$accounts.log" ] || fail "postinst changed the account lumivel that was there: $(cat "$accounts.log")"
: >"$tasks/During.job"
: >"$tasks/During
too.job"
mkdir -p "$root/var/cache/lumivel/made/deeper"
: >"$root/var/cache/lumivel/made/deeper/during.idx"
: >"$root/var/cache/lumivel/during.idx"
run prerm upgrade "$version_installed"
run preinst upgrade "$version_installed"
run postrm upgrade "$version_installed"
run postinst configure "$version_installed"
run prerm remove
run postrm remove
run postrm purge
for kept in "$tasks/Before.job" "$tasks/Two
lines.job" "$root/var/cache/lumivel/before.idx"; do
  [ -e "$kept" ] || fail "the purge took ${kept#"$root"}, which was there before the installation"
done
for made in "$tasks/During.job" "$tasks/During
too.job" "$root/var/cache/lumivel/made" "$root/var/cache/lumivel/during.idx" "$state/found-before-package"; do
  [ ! -e "$made" ] || fail "the purge left ${made#"$root"}, which the installed package made"
done
grep -qx "passwd lumivel" "$accounts" || fail "the purge took the account lumivel that was there before the installation"

# An account the package made stays while jobs from before are left for it to run as.
: >"$accounts"
run preinst install
run postinst configure
run prerm remove
run postrm purge
grep -qx "passwd lumivel" "$accounts" || fail "the purge took the account lumivel while jobs are left for it"
: >"$accounts"
rm -rf "$state" "$root/var/cache/lumivel"

# An installation by scripts/install in /usr/local shares the folders and the account: the
# purge leaves all of them to it.
mkdir -p "$root/usr/local/lib/lumivel" "$tasks"
: >"$root/usr/local/lib/lumivel/lumivel"
run preinst install
run postinst configure
: >"$tasks/Kept.job"
run prerm remove
run postrm purge
grep -qx "passwd lumivel" "$accounts" || fail "the purge took the account lumivel while the installation in /usr/local uses it"
[ -e "$tasks/Kept.job" ] || fail "the purge took the jobs of the installation in /usr/local"
rm -rf "$root/usr/local" "$state" "$root/var/cache/lumivel"

# Installed again after a removal, before any purge: the first note holds, so the job of the
# first installation is still the package's. A first installation that failed leaves nothing.
run preinst install
run postinst configure
mkdir -p "$tasks"
: >"$tasks/First.job"
run prerm remove
run postrm remove
run preinst install "$version_installed"
run postinst configure
run prerm remove
run postrm purge
[ ! -e "$state" ] || fail "a purge after a second installation left $(find "$state" | sed "s|$root||" | tr '\n' ' ')"
run preinst install
run postrm abort-install
[ ! -e "$state" ] || fail "a failed first installation left its note behind"

# A package from before preinst noted anything: what is there is taken as the package's.
mkdir -p "$tasks" "$root/var/cache/lumivel"
: >"$tasks/Old.job"
run postrm purge
[ ! -e "$tasks" ] && [ ! -e "$root/var/cache/lumivel" ] || fail "the purge of a package without a note left its folders"
if grep -q "lumivel" "$accounts"; then fail "the purge of a package without a note left the account lumivel"; fi
echo "check_package: $(basename "$package") is complete"
