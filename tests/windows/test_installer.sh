#!/usr/bin/env bash
# life-setup.exe under Wine, in a throw-away copy of the build's prefix: silent installs for the user and for the
# machine, the screen saver selected, and uninstalls that take away only what was installed and leave the worlds.
# Usage: test_installer.sh SOURCE_FOLDER, with LIFE_WINDOWS_BUILD naming the Windows build (exit 77 without it).
set -euo pipefail
source_dir=$1
build=${LIFE_WINDOWS_BUILD:-}
if [ -z "$build" ]; then
  echo "skipped: LIFE_WINDOWS_BUILD is not set: no Windows build to test"
  exit 77
fi
fail() { echo "FAILED: $*" >&2; exit 1; }
setup="$build/life-setup.exe" scr="$build/life.scr"
[ -f "$setup" ] || fail "$setup is missing"
[ -f "$scr" ] || fail "$scr is missing"
[ -f "$build/wine-prefix/system.reg" ] || fail "no Wine prefix in $build"
version=$(sed -nE 's/^project\(life VERSION ([0-9]+\.[0-9]+\.[0-9]+).*/\1/p' "$source_dir/CMakeLists.txt")
[ -n "$version" ] || fail "no project version in $source_dir/CMakeLists.txt"

work=$(mktemp -d /tmp/life-installer-XXXXXX)
xvfb_pid=""
cleanup() {
  [ ! -d "$work/prefix" ] || WINEPREFIX="$work/prefix" wineserver -k 2>/dev/null || true
  [ -z "$xvfb_pid" ] || kill "$xvfb_pid" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# A copy, so the prefix the other Windows test runs in never holds what an install leaves behind.
cp -a "$build/wine-prefix" "$work/prefix"
export WINEPREFIX="$work/prefix" WINEDLLOVERRIDES="mscoree,mshtml=" WINEDEBUG=-all
mkfifo "$work/display"
Xvfb -displayfd 9 -screen 0 800x600x24 -nolisten tcp -noreset 9>"$work/display" >/dev/null 2>&1 &
xvfb_pid=$!
read -r -t 20 number <"$work/display" || fail "Xvfb did not start"
export DISPLAY=":$number"

win_env() { wine cmd /c echo "%$1%" | tr -d '\r'; }
unix_path() { winepath -u "$1" 2>/dev/null | tr -d '\r'; }
# The data of value $2 under key $1 (64-bit view unless $3 says otherwise); empty when there is none.
reg_value() {
  wine reg query "$1" /v "$2" "${3:-/reg:64}" 2>/dev/null | tr -d '\r' |
    awk -v name="$2" '$1 == name { sub(/^[ \t]*[^ \t]+[ \t]+REG_[A-Z_]+[ \t]*/, ""); print }'
}
has_key() { wine reg query "$1" "${2:-/reg:64}" >/dev/null 2>&1; }
same_text() { [ "${1,,}" = "${2,,}" ]; } # Windows paths: case does not matter
desktop='HKCU\Control Panel\Desktop'
uninstall='Software\Microsoft\Windows\CurrentVersion\Uninstall\Life'

appdata=$(unix_path "$(win_env APPDATA)")
local_w=$(win_env LOCALAPPDATA)
files_w=$(win_env ProgramFiles)
[ -d "$appdata" ] && [ -n "$local_w" ] && [ -n "$files_w" ] || fail "no user folders in the prefix"
mkdir -p "$appdata/life"
printf 'a world of the user\n' >"$appdata/life/life.sav"
cp "$appdata/life/life.sav" "$work/world"

echo "--- for the current user, selected"
wine "$setup" /S /CURRENTUSER /SELECT || fail "the per-user install ended with $?"
inst_w="$local_w\\Programs\\Life"
inst=$(unix_path "$inst_w")
cmp "$scr" "$inst/life.scr" || fail "$inst/life.scr is not build-windows/life.scr"
[ -f "$inst/uninstall.exe" ] || fail "no uninstaller in $inst"
same_text "$(reg_value "$desktop" SCRNSAVE.EXE)" "$inst_w\\life.scr" ||
  fail "SCRNSAVE.EXE is '$(reg_value "$desktop" SCRNSAVE.EXE)'"
[ "$(reg_value "$desktop" ScreenSaveActive)" = 1 ] || fail "ScreenSaveActive is not 1"
[ "$(reg_value "HKCU\\$uninstall" DisplayVersion)" = "$version" ] || fail "DisplayVersion is not $version"
[ -n "$(reg_value "HKCU\\$uninstall" DisplayName)" ] || fail "no DisplayName"
same_text "$(reg_value "HKCU\\$uninstall" UninstallString)" "\"$inst_w\\uninstall.exe\"" ||
  fail "UninstallString is '$(reg_value "HKCU\\$uninstall" UninstallString)'"
! has_key "HKLM\\$uninstall" || fail "a per-user install registered for the machine"
# The screen saver keeps its world beside itself in a folder it can write.
printf 'a world beside the screen saver\n' >"$inst/life.sav"

# The uninstaller hands over to a copy of itself and returns: wait for every process of the prefix.
wine "$inst/uninstall.exe" /S || fail "the uninstaller ended with $?"
wineserver -w
[ ! -e "$inst/life.scr" ] || fail "the uninstall left $inst/life.scr"
[ ! -e "$inst/uninstall.exe" ] || fail "the uninstall left its uninstaller"
[ -f "$inst/life.sav" ] || fail "the uninstall removed the world beside the screen saver"
! has_key "HKCU\\$uninstall" || fail "the uninstall left its key"
[ -z "$(reg_value "$desktop" SCRNSAVE.EXE)" ] || fail "the uninstall left SCRNSAVE.EXE naming it"
cmp "$work/world" "$appdata/life/life.sav" || fail "the world in %APPDATA%\\life changed"

echo "--- for the machine, selected, then another screen saver chosen"
wine "$setup" /S /ALLUSERS /SELECT || fail "the machine-wide install ended with $?"
sys="$WINEPREFIX/drive_c/windows/system32"
cmp "$scr" "$sys/life.scr" || fail "system32/life.scr is not build-windows/life.scr"
[ ! -e "$WINEPREFIX/drive_c/windows/syswow64/life.scr" ] || fail "life.scr went to SysWOW64"
[ "$(reg_value "HKLM\\$uninstall" DisplayVersion)" = "$version" ] || fail "no DisplayVersion under HKLM"
! has_key "HKLM\\$uninstall" /reg:32 || fail "the key went to the 32-bit view (WOW6432Node)"
! has_key "HKCU\\$uninstall" || fail "a machine-wide install registered for the user"
same_text "$(reg_value "$desktop" SCRNSAVE.EXE)" 'C:\windows\system32\life.scr' ||
  fail "SCRNSAVE.EXE is '$(reg_value "$desktop" SCRNSAVE.EXE)'"
machine=$(unix_path "$files_w\\Life")
[ -f "$machine/uninstall.exe" ] || fail "no uninstaller in $machine"
wine reg add "$desktop" /v SCRNSAVE.EXE /d 'C:\windows\system32\other.scr' /f >/dev/null

wine "$machine/uninstall.exe" /S || fail "the machine-wide uninstaller ended with $?"
wineserver -w
[ ! -e "$sys/life.scr" ] || fail "the uninstall left system32/life.scr"
[ ! -e "$machine" ] || fail "the uninstall left $machine"
! has_key "HKLM\\$uninstall" || fail "the uninstall left its key under HKLM"
[ "$(reg_value "$desktop" SCRNSAVE.EXE)" = 'C:\windows\system32\other.scr' ] ||
  fail "the uninstall changed the user's choice of screen saver"
cmp "$work/world" "$appdata/life/life.sav" || fail "the world in %APPDATA%\\life changed"
echo "the installer installs, selects and uninstalls for the user and for the machine"
