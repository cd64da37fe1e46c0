#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the Debian package from a build folder, checks its control fields and contents, runs
# lintian on it (any error or warning fails), checks the manual pages, completion, file type, udev
# rule, copyright and changelog it installs, unpacks
# it into a scratch root with dpkg -x and runs the installed corvelle-cli from there: it must
# find its FontExt through ProgramFolder (no --program-folder), and, run as user nobody with its
# own HOME, write the image and the scratch header into the per-user data folder, never into the
# installation.
#
# Usage: package-test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$(realpath "$1")
source=$(realpath "$2")

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
chmod 755 "$scratch"
fail() { echo "FAIL: $*" >&2; exit 1; }

(cd "$build" && cpack -G DEB -B "$scratch/pkg" >"$scratch/cpack.log" 2>&1) || { cat "$scratch/cpack.log" >&2; fail "cpack"; }
debs=("$scratch"/pkg/corvelle_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "expected one corvelle_*.deb, got: ${debs[*]}"
deb=${debs[0]}

field() { dpkg-deb -f "$deb" "$1"; }
version=$(sed -n 's/^project(Corvelle VERSION \([0-9.]*\).*/\1/p' "$source/CMakeLists.txt")
[ "$(field Package)" = corvelle ] || fail "Package: $(field Package)"
[ "$(field Version)" = "$version-1" ] || fail "Version: $(field Version), project $version"
long=$(field Description | awk 'length > 80')
[ -z "$long" ] || fail "description lines longer than 80 columns: $long"
# lintian: no error and no warning (informational tags are listed, not fatal).
if ! lintian --fail-on error,warning "$deb" >"$scratch/lintian.log" 2>&1; then
  cat "$scratch/lintian.log" >&2
  fail "lintian"
fi
[ "$(field Section)" = utils ] || fail "Section: $(field Section)"
[ -n "$(field Maintainer)" ] || fail "no Maintainer"
[ -n "$(field Description)" ] || fail "no Description"
depends=$(field Depends)
for library in libc6 libstdc++6; do
  [[ $depends == *"$library"* ]] || fail "Depends lacks $library: $depends"
done

root=$scratch/root
dpkg -x "$deb" "$root"
chmod 755 "$root"
cli=$root/usr/bin/corvelle-cli
share=$root/usr/share/corvelle
[ -x "$cli" ] || fail "no usr/bin/corvelle-cli"
[ -f "$share/FontExt/Index1252.shi" ] || fail "no usr/share/corvelle/FontExt"
[ -f "$share/fonts/VNS ABA.TTF" ] && [ -f "$share/fonts/LICENSE" ] || fail "no usr/share/corvelle/fonts"
if [ -e "$build/bin/corvelle" ]; then
  [ -x "$root/usr/bin/corvelle" ] || fail "no usr/bin/corvelle"
  desktop=$root/usr/share/applications/corvelle.desktop
  grep -qx 'Exec=corvelle %f' "$desktop" || fail "no desktop file"
  grep -qx 'MimeType=application/x-corvelle-kvf;' "$desktop" || fail "the desktop file opens no .kvf"
  for size in 16 32 48; do
    [ -f "$root/usr/share/icons/hicolor/${size}x$size/apps/corvelle.png" ] || fail "no ${size}px icon"
  done
  grep -q '<svg' "$root/usr/share/icons/hicolor/scalable/apps/corvelle.svg" || fail "no scalable icon"
  grep -q '<glob pattern="\*.kvf"/>' "$root/usr/share/mime/packages/corvelle.xml" || fail "no .kvf file type"
  ls "$root"/usr/share/metainfo/*.metainfo.xml >/dev/null || fail "no AppStream metainfo"
fi

# Manual pages: compressed with gzip -9n (no name, no time stamp) and rendered without a warning.
for page in corvelle corvelle-cli kerv-printer-sim; do
  gz=$root/usr/share/man/man1/$page.1.gz
  [ -f "$gz" ] || fail "no manual page $page(1)"
  [ "$(od -An -tx1 -j4 -N4 "$gz" | tr -d ' ')" = 00000000 ] || fail "$page.1.gz carries a time stamp"
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$gz" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "$page(1): $warnings"
done
zcat "$root/usr/share/man/man1/corvelle-cli.1.gz" | grep -q '^\.SH EXIT STATUS' || fail "corvelle-cli(1) has no exit status"
grep -q '^complete -F _corvelle_cli corvelle-cli$' "$root/usr/share/bash-completion/completions/corvelle-cli" ||
  fail "no bash completion for corvelle-cli"
grep -q 'ATTR{idVendor}=="0403", TAG+="uaccess"' "$root/usr/lib/udev/rules.d/70-corvelle-ftdi.rules" ||
  fail "no udev rule for FTDI bridges"
doc=$root/usr/share/doc/corvelle
head -1 "$doc/copyright" | grep -q '^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' ||
  fail "the copyright file is not machine-readable"
grep -q '^License: Arev$' "$doc/copyright" || fail "the copyright file lacks the Arev fonts' licence"
[[ $(zcat "$doc/changelog.Debian.gz" | head -1) == "corvelle ($version-1) "* ]] || fail "changelog.Debian.gz names another version"
grep -q '^Arev Fonts Copyright' "$share/fonts/LICENSE" || fail "the fonts' licence lacks the Arev section"
if [ -e "$build/bin/kerv-printer-sim" ]; then
  "$root/usr/bin/kerv-printer-sim" --help >/dev/null || fail "the installed kerv-printer-sim does not run"
fi
# Nothing installed may point back into the build or source trees.
if grep -rlaF -e "$build" -e "$source" "$root" >"$scratch/leaks"; then
  fail "build-tree paths inside: $(cat "$scratch/leaks")"
fi

# Runs the installed tool as `user` (nobody when this runs as root, else the current user) with
# a clean environment and HOME of its own.
home=$scratch/home
mkdir -p "$home"
as_user() {
  local environment=(env -i "HOME=$home" PATH=/usr/bin:/bin LANG=C.UTF-8)
  if [ "$(id -u)" -eq 0 ]; then
    chown -R nobody:nogroup "$home"
    setpriv --reuid=nobody --regid=nogroup --clear-groups "${environment[@]}" "$@"
  else
    "${environment[@]}" "$@"
  fi
}

# The listing is taken whole: a reader that stops early would make the tool fail on a closed pipe.
listing=$("$cli" catalogue --codepage 2)
count=$(printf '%s\n' "$listing" | wc -l)
[ "$count" -eq $(($(stat -c %s "$share/FontExt/Index1252.shi") / 102)) ] || fail "catalogue as $(id -un): $count fonts"
[[ ${listing%%$'\n'*} == *"	$share/FontExt/"* ]] || fail "catalogue paths do not lie in $share"

touch "$scratch/marker"
count=$(as_user "$cli" catalogue | wc -l)
[ "$count" -gt 0 ] || fail "catalogue as an unprivileged user lists nothing"
as_user "$cli" selection add --codepage 2 --at 1 0 1 2
image=$(as_user "$cli" build)
[ "$image" = "$home/.local/share/corvelle/FontSet.SHC" ] || fail "image written to '$image'"
[ -f "$home/.local/share/corvelle/fontheadkerv.sh" ] || fail "no scratch header in the per-user data folder"
report=$(as_user "$cli" inspect "$image")
[[ $report == 'format: FontSet.SHC'* ]] || fail "the image does not inspect"
# The installation is untouched: nothing newer than the marker under the unpacked root.
changed=$(find "$root" -newer "$scratch/marker" -print)
[ -z "$changed" ] || fail "the installation changed: $changed"

# Root may write anywhere, but an installation's data folder is still left alone.
if [ "$(id -u)" -eq 0 ]; then
  roothome=$scratch/roothome
  mkdir -p "$roothome"
  image=$(env -i "HOME=$roothome" PATH=/usr/bin:/bin "$cli" --profile "$home/.config/corvelle/corvelle.ini" build)
  [ "$image" = "$roothome/.local/share/corvelle/FontSet.SHC" ] || fail "root wrote the image to '$image'"
  changed=$(find "$root" -newer "$scratch/marker" -print)
  [ -z "$changed" ] || fail "the installation changed for root: $changed"
fi
echo "package $(basename "$deb") installs and runs (Depends: $depends)"
