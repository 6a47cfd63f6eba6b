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

# The maintainer scripts against the extracted tree and a private registry: registered by
# postinst, gone again after prerm.
hive="$work/machine.hive"
sed "s|/usr/lib/lumivel|$work/root/usr/lib/lumivel|g" "$work/control/postinst" > "$work/postinst"
sed "s|/usr/lib/lumivel|$work/root/usr/lib/lumivel|g" "$work/control/prerm" > "$work/prerm"
export LUMIVEL_MACHINE_HIVE="$hive" LUMIVEL_USER_HIVE="$work/user.hive"
sh "$work/postinst" configure || fail "postinst failed"
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
sh "$work/postinst" configure || fail "postinst failed beside other software's keys"
sh "$work/prerm" remove || fail "prerm failed beside other software's keys"
"$reg" query "$other_class\InprocServer32" /ve 2>&1 | grep -q /opt/other/other.so || fail "prerm deleted another class"
"$reg" query "$other_interfaces" /v '{0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0}' >/dev/null 2>&1 ||
  fail "prerm deleted another provider's interface entry"
"$reg" query 'HKLM\Software\Microsoft\MMC\Snapins\Other' >/dev/null 2>&1 || fail "prerm deleted another snap-in's key"
if "$reg" query "$provider_key" >/dev/null 2>&1; then fail "prerm left the provider registered beside other classes"; fi
echo "check_package: $(basename "$package") is complete"
