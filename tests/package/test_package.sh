#!/usr/bin/env bash
# The Debian package end to end, changing nothing on the machine: built with CPack into a scratch folder, its files
# and dependencies checked, installed only in simulation, unpacked and run as an unprivileged user on a private Xvfb.
# Usage: test_package.sh BUILD_FOLDER
set -euo pipefail
build=$1
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

(cd "$build" && cpack -G DEB -B "$work/out" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; fail "cpack"; }
deb=$(ls "$work"/out/*.deb)
echo "package: $(basename "$deb"), $(stat -c %s "$deb") bytes"

# Exactly these files, under /usr where XScreenSaver looks.
dpkg-deb -c "$deb" | awk '$6 !~ /\/$/ { print $6, $7, $8 }' | sed 's/ *$//' | sort >"$work/files"
cat >"$work/expected" <<'LIST'
./usr/bin/life
./usr/libexec/xscreensaver/life -> ../../bin/life
./usr/share/doc/life/README.md
./usr/share/man/man6/life.6.gz
./usr/share/xscreensaver/config/life.xml
LIST
diff -u "$work/expected" "$work/files" || fail "the package's files"

depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
grep -q 'liballegro4' <<<"$depends" || fail "the dependencies do not name Allegro"
apt-get install --simulate "$deb" >"$work/apt.log" 2>&1 || { cat "$work/apt.log"; fail "its dependencies do not resolve"; }
grep -q '^Inst life ' "$work/apt.log" || { cat "$work/apt.log"; fail "apt would not install it"; }

# Unpacked into a folder owned by root, run by a user who cannot write there: the world goes to their home.
dpkg -x "$deb" "$work/root"
home="$work/home"
mkdir "$home"
chown nobody:nogroup "$home"
chmod 755 "$work"
mkfifo "$work/display"
Xvfb -displayfd 9 -screen 0 1024x768x24 -nolisten tcp -nocursor -noreset 9>"$work/display" >/dev/null 2>&1 &
xvfb_pid=$!
read -r -t 20 number <"$work/display" || fail "Xvfb did not start"
export DISPLAY=":$number"
xsetroot -solid '#00FF80'
xdotool mousemove 130 470
setpriv --reuid=nobody --regid=nogroup --clear-groups env -u XDG_DATA_HOME HOME="$home" \
  "$work/root/usr/bin/life" 2>"$work/life.stderr" &
life_pid=$!
world="$home/.local/share/life/life.sav"
# The lock is taken once the screen is open, before the load; after the pointer has settled any key quits.
wait_for 150 test -e "$world.lock" || { cat "$work/life.stderr"; fail "the program did not claim its world"; }
sleep 1
xdotool key q
wait_for 150 bash -c "! kill -0 $life_pid 2>/dev/null" || fail "the program did not end on a key"
status=0
wait "$life_pid" || status=$?
life_pid=""
[ "$status" -eq 0 ] || { cat "$work/life.stderr"; fail "exit status $status"; }
# Whole: as many lines as its own counts call for.
awk 'NR == 4 { w = $1 } NR == 5 { h = $1 } NR == 6 + 2 * w * h { p = $1 }
     END { exit !(NR > 6 && NR == 5 + 2 * w * h + 1 + p * 1703) }' "$world" || fail "$world is not a whole world"
[ "$(stat -c %U "$world")" = nobody ] || fail "$world is not the user's"
echo "the unpacked program saved its world in ~/.local/share/life/life.sav"
