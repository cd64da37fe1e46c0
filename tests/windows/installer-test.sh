#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The installer under Wine, in a Wine prefix of its own: a silent install puts every file of the
# staged set in place (into %ProgramFiles%\Corvelle, and into a folder named by /D=) with its
# Start-menu entry, .kvf file type and "Apps & features" entry; the installed corvelle-cli.exe
# tells its version and builds an image from the installed FontExt; corvelle.exe starts; the
# silent uninstall removes every installed file, entry and key and leaves the profile and history.
# Usage: installer-test.sh SETUP.EXE VERSION STAGE-FOLDER
set -u
setup=$1 version=$2 stage=$3
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

scratch=$(mktemp -d)
export WINEPREFIX=$scratch/prefix WINEDEBUG=-all
cleanup() { wineserver -k 2>/dev/null; rm -rf "$scratch"; }
trap cleanup EXIT
wineboot -i >/dev/null 2>&1
wineserver -w

uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Corvelle'
start_menu="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Corvelle.lnk"
mapfile -t files < <(cd "$stage" && find . -type f | sed 's|^\./||' | sort)
[ ${#files[@]} -gt 10 ] || fail "the staged set in $stage holds only ${#files[@]} files"

reg_value() { wine reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' | sed -n "s/^ *$2 *REG_[A-Z_]* *//p"; }
reg_default() { wine reg query "$1" /ve 2>/dev/null | tr -d '\r' | sed -n 's/^ *(Default) *REG_[A-Z_]* *//p'; }

# Installs with `setup.exe /S [extra]` and checks every file and entry for the folder `folder`
# (Windows path) = `unix` (its place in the prefix).
check_installed() {
  local folder=$1 unix=$2
  for f in "${files[@]}"; do
    cmp -s "$stage/$f" "$unix/$f" || fail "$f is not installed in $folder as staged"
  done
  [ -f "$unix/uninstall.exe" ] || fail "no uninstaller in $folder"
  [ -f "$start_menu" ] || fail "no Start-menu entry"
  [ "$(reg_value "$uninstall_key" DisplayVersion)" = "$version" ] || fail "Apps & features shows no version $version"
  [ "$(reg_value "$uninstall_key" DisplayName)" = Corvelle ] || fail "Apps & features shows no Corvelle"
  [ "$(reg_value "$uninstall_key" InstallLocation)" = "$folder" ] || fail "Apps & features names another folder than $folder"
  [ "$(reg_value "$uninstall_key" QuietUninstallString)" = "\"$folder\\uninstall.exe\" /S" ] || fail "no silent uninstall command"
  [ "$(reg_default 'HKLM\Software\Classes\.kvf')" = Corvelle.kvf ] || fail ".kvf is not Corvelle's file type"
  [ "$(reg_default 'HKLM\Software\Classes\Corvelle.kvf\shell\open\command')" = "\"$folder\\corvelle.exe\" \"%1\"" ] ||
    fail ".kvf files do not open in $folder\\corvelle.exe"
}

# Uninstalls silently and checks that nothing installed is left, and that the user's files are.
check_uninstalled() {
  local folder=$1 unix=$2
  wine "$folder\\uninstall.exe" /S
  wineserver -w  # the uninstaller runs on from a copy of itself in the temporary folder
  for f in "${files[@]}"; do
    [ ! -e "$unix/$f" ] || fail "the uninstall left $f"
  done
  [ ! -e "$unix" ] || fail "the uninstall left $folder: $(cd "$unix" && find . | tr '\n' ' ')"
  [ ! -e "$start_menu" ] || fail "the uninstall left the Start-menu entry"
  for key in "$uninstall_key" 'HKLM\Software\Classes\.kvf' 'HKLM\Software\Classes\Corvelle.kvf'; do
    ! wine reg query "$key" >/dev/null 2>&1 || fail "the uninstall left $key"
  done
  [ -f "$profile" ] && [ -f "$history" ] || fail "the uninstall took the user's profile or history"
}

# The user's own files, which the uninstall leaves.
appdata="$WINEPREFIX/drive_c/users/$(id -un)/AppData"
profile="$appdata/Roaming/Corvelle/corvelle.ini" history="$appdata/Local/Corvelle/downloads.jsonl"
mkdir -p "$(dirname "$profile")" "$(dirname "$history")"
printf '[Impostazione porta]\r\nPort=FILE\r\nIPaddress=127.0.0.1\r\n' >"$profile"
printf '{"time":"2026-01-01T00:00:00Z","result":"ok"}\n' >"$history"

default_folder='C:\Program Files\Corvelle' default_unix="$WINEPREFIX/drive_c/Program Files/Corvelle"
wine "$setup" /S || fail "the silent install failed"
wineserver -w
check_installed "$default_folder" "$default_unix"

cli="$default_folder\\corvelle-cli.exe"
out=$(wine "$cli" --version | tr -d '\r')
[[ "$out" == *"$version"* ]] || fail "the installed corvelle-cli.exe --version says: $out"
wine "$cli" selection add --at 1 0 >/dev/null || fail "the installed corvelle-cli.exe cannot select font 0 of its FontExt"
wine "$cli" build --output "Z:$scratch/image.shc" >/dev/null || fail "the installed corvelle-cli.exe cannot build"
[ "$(stat -c %s "$scratch/image.shc" 2>/dev/null || echo 0)" -gt 1000 ] || fail "the installed FontExt built no image"

# The window: it starts and keeps running on the offscreen platform until it is ended here.
wine "$default_folder\\corvelle.exe" -platform offscreen >/dev/null 2>&1 &
window=$!
sleep 10
kill -0 "$window" 2>/dev/null || fail "the installed corvelle.exe ended at once (status $(wait "$window"; echo $?))"
kill "$window" 2>/dev/null
wait "$window" 2>/dev/null
wineserver -k
wineserver -w

check_uninstalled "$default_folder" "$default_unix"

other_folder='C:\Tools\Corvelle' other_unix="$WINEPREFIX/drive_c/Tools/Corvelle"
wine "$setup" /S "/D=$other_folder" || fail "the silent install into $other_folder failed"
wineserver -w
check_installed "$other_folder" "$other_unix"
check_uninstalled "$other_folder" "$other_unix"

[ $failures -eq 0 ] && echo "installer: every check passed"
exit $((failures > 0))
