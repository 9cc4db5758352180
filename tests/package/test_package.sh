#!/usr/bin/env bash
# The Debian package end to end, changing nothing on the machine: a build made for installing under /usr, packed
# with CPack, checked by lintian, desktop-file-validate and mandoc, installed with dpkg into a throwaway root, run
# there as root and as an unprivileged user on a private Xvfb, and purged.
# Usage: test_package.sh SOURCE_FOLDER BUILD_FOLDER
# The package's own build lives in BUILD_FOLDER/package-build, kept between runs.
set -euo pipefail
source_dir=$1
build=$2
work=$(mktemp -d /tmp/life-package-XXXXXX)
xvfb_pid="" life_pid=""
cleanup() {
  [ -z "$life_pid" ] || kill -KILL "$life_pid" 2>/dev/null || true
  [ -z "$xvfb_pid" ] || kill "$xvfb_pid" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAILED: $*" >&2; exit 1; }

# Waits up to $1 tenths of a second for the command after it to succeed.
wait_for() {
  local tenths=$1; shift
  for ((k = 0; k < tenths; k++)); do "$@" && return 0; sleep 0.1; done
  return 1
}

# A development build is never packaged: it would keep worlds beside /usr/games/life.
if (cd "$build" && cpack -G DEB -B "$work/refused" >"$work/refused.log" 2>&1); then
  fail "cpack packaged a development build"
fi
grep -q 'LIFE_INSTALLED=ON' "$work/refused.log" || { cat "$work/refused.log"; fail "cpack's refusal does not say why"; }

pkg_build="$build/package-build"
cmake -S "$source_dir" -B "$pkg_build" -DCMAKE_BUILD_TYPE=Release -DLIFE_INSTALLED=ON \
  -DLIFE_TESTS=OFF -DLIFE_FRONT=ON >"$work/configure.log" 2>&1 || { cat "$work/configure.log"; fail "configure"; }
cmake --build "$pkg_build" -j"$(nproc)" >"$work/build.log" 2>&1 || { tail -n 40 "$work/build.log"; fail "build"; }
(cd "$pkg_build" && cpack -G DEB -B "$work/out" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; fail "cpack"; }
deb=$(ls "$work"/out/*.deb)
echo "package: $(basename "$deb"), $(stat -c %s "$deb") bytes"

# Exactly these files: the game in /usr/games, the hack where XScreenSaver looks, the menus' entries and icons.
dpkg-deb -c "$deb" | awk '$6 !~ /\/$/ { print $6, $7, $8 }' | sed 's/ *$//' | sort >"$work/files"
cat >"$work/expected" <<'LIST'
./usr/games/life
./usr/libexec/xscreensaver/life -> ../../games/life
./usr/share/applications/life.desktop
./usr/share/applications/screensavers/life.desktop
./usr/share/doc/life/README.md
./usr/share/doc/life/changelog.Debian.gz
./usr/share/doc/life/copyright
./usr/share/icons/hicolor/128x128/apps/life.png
./usr/share/icons/hicolor/16x16/apps/life.png
./usr/share/icons/hicolor/256x256/apps/life.png
./usr/share/icons/hicolor/32x32/apps/life.png
./usr/share/icons/hicolor/48x48/apps/life.png
./usr/share/icons/hicolor/64x64/apps/life.png
./usr/share/lintian/overrides/life
./usr/share/man/man6/life.6.gz
./usr/share/xscreensaver/config/life.xml
LIST
diff -u "$work/expected" "$work/files" || fail "the package's files"

depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
grep -q 'liballegro4' <<<"$depends" || fail "the dependencies do not name Allegro"
apt-get install --simulate "$deb" >"$work/apt.log" 2>&1 || { cat "$work/apt.log"; fail "its dependencies do not resolve"; }
grep -q '^Inst life ' "$work/apt.log" || { cat "$work/apt.log"; fail "apt would not install it"; }

# Debian's own checks: no error or warning from lintian, the desktop entries valid, the manual page clean.
for tool in lintian desktop-file-validate mandoc; do
  command -v "$tool" >/dev/null || fail "$tool is missing: scripts/deps --test installs it"
done
lintian_status=0
lintian --pedantic --info "$deb" >"$work/lintian.log" 2>&1 || lintian_status=$?
sed '/^running with root privileges/d' "$work/lintian.log"
! grep -Eq '^[EW]: ' "$work/lintian.log" || fail "lintian reports errors or warnings"
[ "$lintian_status" -eq 0 ] || fail "lintian's exit status $lintian_status"
echo "lintian --pedantic: no error or warning"
dpkg -x "$deb" "$work/unpacked"
for entry in "$work"/unpacked/usr/share/applications/life.desktop "$work"/unpacked/usr/share/applications/screensavers/life.desktop; do
  desktop-file-validate "$entry" >"$work/desktop.log" 2>&1 || { cat "$work/desktop.log"; fail "$entry is not valid"; }
  # Hints are advice; an error or a warning fails.
  if grep -Eq ': (error|warning):' "$work/desktop.log"; then cat "$work/desktop.log"; fail "$entry"; fi
done
grep -qx 'Categories=Game;Simulation;' "$work/unpacked/usr/share/applications/life.desktop" || fail "the menu's category"
grep -qx 'Exec=/usr/games/life --root' "$work/unpacked/usr/share/applications/screensavers/life.desktop" ||
  fail "MATE's entry does not run the hack"
gzip -dc "$work/unpacked/usr/share/man/man6/life.6.gz" >"$work/life.6"
mandoc -Tlint "$work/life.6" || fail "mandoc -Tlint on the manual page"
echo "desktop entries and manual page: clean"

# Installed with dpkg into a throwaway root owned by root, which an unprivileged user cannot write.
root="$work/root"
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates" "$root/var/lib/dpkg/triggers"
touch "$root/var/lib/dpkg/status" "$root/var/lib/dpkg/available"
# The libraries are the machine's: the throwaway root's database has none of them.
dpkg --root="$root" --log=/dev/null --force-depends -i "$deb" >"$work/dpkg.log" 2>&1 ||
  { cat "$work/dpkg.log"; fail "dpkg -i"; }
life="$root/usr/games/life"
[ "$(readlink -f "$root/usr/libexec/xscreensaver/life")" = "$life" ] || fail "the hack's link does not lead to the program"
snapshot() { (cd "$root" && find . -path ./var/lib/dpkg -prune -o -printf '%p %s %T@\n' | sort); }
snapshot >"$work/tree.before"

# Without a display: the usage and the version, status 0.
usage=$(env -u DISPLAY "$life" --help) || fail "--help exit status"
grep -q -- '--root' <<<"$usage" && grep -q -- '--window-id' <<<"$usage" && grep -q 'F12' <<<"$usage" ||
  fail "--help does not tell the arguments and keys: $usage"
grep -q 'The world: ${XDG_DATA_HOME:-~/.local/share}/life/life.sav$' <<<"$usage" ||
  fail "--help does not say where an installed program keeps the world: $usage"
version=$(env -u DISPLAY "$life" -h >/dev/null && env -u DISPLAY "$life" --version) || fail "-h or --version exit status"
[ "$version" = "life $(dpkg-deb -f "$deb" Version | sed 's/-[^-]*$//')" ] || fail "--version says \"$version\""
echo "--help, -h and --version: answered without a display"

chmod 755 "$work"
mkfifo "$work/display"
Xvfb -displayfd 9 -screen 0 1024x768x24 -nolisten tcp -nocursor -noreset 9>"$work/display" >/dev/null 2>&1 &
xvfb_pid=$!
read -r -t 20 number <"$work/display" || fail "Xvfb did not start"
export DISPLAY=":$number"
xsetroot -solid '#00FF80'

# Runs the installed program as user $1 with home $2 until a key ends it; its world must be whole and theirs.
run_as() {
  local user=$1 home=$2
  local world="$home/.local/share/life/life.sav"
  xdotool mousemove 130 470
  setpriv --reuid="$user" --regid="$(id -g "$user")" --clear-groups env -u XDG_DATA_HOME HOME="$home" \
    "$life" 2>"$work/life.stderr" &
  life_pid=$!
  # The lock is taken once the screen is open, before the load; after the pointer has settled any key quits.
  wait_for 150 test -e "$world.lock" || { cat "$work/life.stderr"; fail "as $user: the program did not claim its world"; }
  sleep 1
  xdotool key q
  wait_for 150 bash -c "! kill -0 $life_pid 2>/dev/null" || fail "as $user: the program did not end on a key"
  local status=0
  wait "$life_pid" || status=$?
  life_pid=""
  [ "$status" -eq 0 ] || { cat "$work/life.stderr"; fail "as $user: exit status $status"; }
  # Whole: as many lines as its own counts call for.
  awk 'NR == 4 { w = $1 } NR == 5 { h = $1 } NR == 6 + 2 * w * h { p = $1 }
       END { exit !(NR > 6 && NR == 5 + 2 * w * h + 1 + p * 1703) }' "$world" || fail "$world is not a whole world"
  [ "$(stat -c %U "$world")" = "$user" ] || fail "$world is not $user's"
  echo "as $user: the world saved in ~/.local/share/life/life.sav"
}
mkdir -m 700 "$work/root-home" "$work/user-home"
chown nobody:nogroup "$work/user-home"
run_as root "$work/root-home"
run_as nobody "$work/user-home"

# Nothing beside the program, root's run included.
snapshot >"$work/tree.after"
diff -u "$work/tree.before" "$work/tree.after" || fail "running the program changed the installed tree"
echo "the installed tree is as dpkg left it"

# Purged, the package leaves nothing behind in the system's folders.
dpkg --root="$root" --log=/dev/null --purge life >"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log"; fail "dpkg --purge"; }
left=$(cd "$root" && find . -mindepth 1 -path ./var -prune -o -print)
[ -z "$left" ] || fail "purging left: $left"
echo "purged: nothing left"
