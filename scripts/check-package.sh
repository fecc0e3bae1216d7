#!/usr/bin/env bash
# Proof that the Debian package made by ./package works on a clean Debian 12 (bookworm) or
# Debian 13 (trixie):
#   - a minimal root of the release made with debootstrap from this machine's Debian mirror;
#   - apt-get installs the package there with its runtime dependencies only;
#   - an ordinary user of the group vedris starts /usr/bin/vedris under Xvfb: the window
#     appears and /var/opt/vedris/Results/results.xml is created; a second user is told
#     the client is running, a user outside the group is refused; the second user's turn
#     afterwards saves the answers of a page;
#   - vedris-results imports the saved results.xml (a second time as a repeat) and exports
#     the spreadsheet, the CSV tables and the report from it;
#   - on trixie, a screen reader reaches that page through the AT-SPI tree: its heading,
#     the radio buttons of a question with their label texts, a text field named by its
#     label; on bookworm, whose WebKitGTK 6.0 shows the page to AT-SPI as an empty filler,
#     what it finds is only noted;
#   - the same package with a higher version upgrades it and leaves results.xml, an edited
#     settings file and the administrator's assessments as they were;
#   - remove and purge leave results.xml where it was.
# Usage (as root, after ./package):
#   scripts/check-package.sh [bookworm|trixie] [vedris_VERSION_ARCH.deb]
# bookworm is the default. VEDRIS_MIRROR overrides the mirror; VEDRIS_CHECK_KEEP=1 keeps
# the root for a look.
set -euo pipefail
cd "$(dirname "$0")/.."

release=bookworm
deb=
for arg in "$@"; do
  case $arg in
    bookworm | trixie) release=$arg ;;
    *.deb) deb=$arg ;;
    *) echo "Usage: $0 [bookworm|trixie] [vedris_VERSION_ARCH.deb]" >&2; exit 2 ;;
  esac
done
case $release in
  bookworm) debian="Debian 12" ;;
  trixie) debian="Debian 13" ;;
esac
deb=$(realpath "${deb:-$(ls build/package/vedris_*.deb 2>/dev/null | head -1)}")
[ -f "$deb" ] || { echo "No package: run ./package first." >&2; exit 2; }
[ "$(id -u)" -eq 0 ] || { echo "Needs root (debootstrap, chroot, mounts)." >&2; exit 2; }
. scripts/deps.sh
vedris_install_deps debootstrap

# The mirror apt uses here, in one-line or deb822 sources.
sources=$(cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list \
  /etc/apt/sources.list.d/*.sources 2>/dev/null || true)
uris=$(sed -nE 's/^(URIs:|deb)[[:space:]]+(\[[^]]*\][[:space:]]+)?([^[:space:]]+).*/\3/p' <<<"$sources")
mirror=${VEDRIS_MIRROR:-$(grep -E '/debian/?$' <<<"$uris" | head -1 || true)}
security=$(grep -E '/debian-security/?$' <<<"$uris" | head -1 || true)
[ -n "$mirror" ] || { echo "No Debian mirror in /etc/apt/sources.list*." >&2; exit 2; }

work=$(mktemp -d /tmp/vedris-check.XXXXXX)
root=$work/root
# A display number no X server listens on (their sockets are shared with the root).
n=71
while grep -q "/tmp/.X11-unix/X$n\$" /proc/net/unix; do n=$((n + 1)); done
display=:$n
pass=0
fail=0

ok() { echo "ok    $*"; pass=$((pass + 1)); }
bad() { echo "FAIL  $*"; fail=$((fail + 1)); }
check() {
  local what=$1
  shift
  if "$@"; then ok "$what"; else bad "$what"; fi
}
step() { echo "--    $*"; }

in_root() {
  chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 \
    DEBIAN_FRONTEND=noninteractive "$@"
}

cleanup() {
  set +e
  for pid in $(jobs -p); do kill "$pid" 2>/dev/null; done
  wait 2>/dev/null
  for m in dev/shm dev/pts dev sys proc; do
    mountpoint -q "$root/$m" && umount -l "$root/$m"
  done
  if [ "${VEDRIS_CHECK_KEEP:-0}" = 1 ]; then echo "Root kept in $root"; else rm -rf "$work"; fi
}
trap cleanup EXIT

# Waits up to $1 seconds for the command that follows to succeed.
wait_for() {
  local seconds=$1
  shift
  local i
  for ((i = 0; i < seconds * 5; i++)); do
    "$@" && return 0
    sleep 0.2
  done
  return 1
}

# Starts the client as user $1 on the Xvfb display; its output goes to /tmp/$1.log in the
# root. chroot, env and setpriv only exec, so the job's pid is the client's (which is why
# background jobs here call chroot directly, not through in_root).
start_client() {
  chroot "$root" /usr/bin/env -i PATH=/usr/bin:/bin LANG=C.UTF-8 HOME="/home/$1" USER="$1" \
    DISPLAY=$display G_MESSAGES_DEBUG=Vedris "${sandbox_env[@]}" /usr/bin/setpriv --reuid="$1" --regid="$1" --init-groups /usr/bin/vedris \
    >"$root/tmp/$1.log" 2>&1 &
  client_pid=$!
}
# A process that has ended but is not yet reaped still answers kill -0.
running() {
  local state
  state=$(sed -E 's/.*\) (.).*/\1/' "/proc/$1/stat" 2>/dev/null) || return 1
  [ -n "$state" ] && [ "$state" != Z ]
}
# Ends the client as a session end would (it closes its window and saves); true when it
# ended by itself within 20 s.
stop_client() {
  kill -TERM "$1" 2>/dev/null || return 0
  local ended=0
  wait_for 20 eval "! running $1" || ended=1
  [ $ended = 0 ] || kill -KILL "$1" 2>/dev/null
  wait "$1" 2>/dev/null || true
  return $ended
}
window_shown() { in_root xwininfo -display $display -root -tree 2>/dev/null | grep -q '("ua.org.vedris.Client"'; }
log_has() { grep -q "$2" "$root/tmp/$1.log"; }
results_ready() { grep -q '</result>' "$results" 2>/dev/null; }
# Owners and modes as the root's own user database names them.
stat_of() { chroot "$root" stat -c "$1" "${2#"$root"}"; }
sum_of() { sha256sum "$1" | cut -d' ' -f1; }
no_build_tools() { ! grep -qE -- '-dev$|^(gcc|g\+\+|clang|cmake|make)(-[0-9.]+)?$' <<<"$added"; }
# The installed package that answers dependency $1: itself, or one that provides it (as
# trixie's t64 libraries provide their old names).
provider_of() {
  in_root dpkg-query -W -f '${Package} ${Version} ${Provides}\n' | awk -v d="$1" '
    $1 == d { self = $1 " " $2 }
    { for (i = 3; i <= NF; i++) { n = $i; sub(/,$/, "", n); if (n == d) other = $1 " " $2 } }
    END { print self ? self : other }'
}
conffile_listed() {
  chroot "$root" dpkg-query -W -f '${Conffiles}' vedris | grep -q /etc/opt/vedris/vedris.ini
}

# What a screen reader finds, one object a line: role, name, names of its labels.
atspi_row() { grep -qxF "$(printf '%s\t%s\t' "$1" "$2")" "$work/atspi.txt"; }
atspi_named() { cut -f2 "$work/atspi.txt" | grep -qxF "$1"; }
atspi_field() {
  awk -F'\t' -v l="$1" '$1 == "entry" && ($2 == l || index($3, l)) { f = 1 } END { exit !f }' \
    "$work/atspi.txt"
}
atspi_radios() {
  local label
  for label in "$@"; do atspi_row "radio button" "$label" || return 1; done
}

# On trixie a check; on bookworm only a note, since its WebKitGTK 6.0 gives AT-SPI an empty
# filler where the page should be.
a11y_check() {
  if [ "$release" = trixie ]; then
    check "$@"
    return
  fi
  local what=$1
  shift
  if "$@"; then echo "note  $what: there"; else echo "note  $what: missing"; fi
}

# The page shown now (vidhuk.html) read as a screen reader reads it: the client runs as
# kandydat1 in a session bus of its own, on which the AT-SPI bus starts on demand.
screen_reader_check() {
  step "a screen reader on the page (dbus, at-spi2-core, python3-pyatspi only for this check)"
  in_root apt-get install -y -q --no-install-recommends dbus-daemon dbus-bin at-spi2-core \
    python3-pyatspi >>"$work/apt.log" 2>&1
  cp scripts/check-package-atspi.py "$root/tmp/"
  local heading="Відгук про курс «Основи програмування»" before=$fail seconds=120
  [ "$release" = trixie ] || seconds=30
  chroot "$root" /usr/bin/env -i PATH=/usr/bin:/bin LANG=C.UTF-8 HOME=/home/kandydat1 \
    USER=kandydat1 DISPLAY=$display "${sandbox_env[@]}" /usr/bin/setpriv --reuid=kandydat1 \
    --regid=kandydat1 --init-groups /usr/bin/dbus-run-session -- \
    python3 /tmp/check-package-atspi.py "$heading" /tmp/atspi-client.log $seconds \
    >"$work/atspi.txt" 2>"$work/atspi.err" || true
  a11y_check "AT-SPI: the page's heading" atspi_row heading "$heading"
  a11y_check "AT-SPI: question 1 by its text" \
    atspi_named "1. Наскільки ви задоволені курсом загалом?"
  a11y_check "AT-SPI: its five radio buttons by their label texts" atspi_radios \
    "Зовсім не задоволений(-а)" "Радше не задоволений(-а)" "Важко сказати" \
    "Радше задоволений(-а)" "Цілком задоволений(-а)"
  a11y_check "AT-SPI: the text field of question 4 named by its label" \
    atspi_field "4. Скільки годин на тиждень у середньому ви приділяли курсу?"
  check "the client read through AT-SPI ends by itself on SIGTERM" \
    grep -qxF "$(printf 'client exit status\t0')" "$work/atspi.err"
  if [ "$fail" -gt "$before" ] || [ "$release" != trixie ]; then
    echo "      what AT-SPI showed (role, name, labels):"
    grep -F "$(printf '\t')" "$work/atspi.txt" | sed 's/^/      /' | head -60
    grep -F 'client exit status' "$work/atspi.err" | sed 's/^/      /'
  fi
}

results=$root/var/opt/vedris/Results/results.xml
settings=$root/etc/opt/vedris/vedris.ini
index=$root/var/opt/vedris/Assessments/index.html

step "package: $(basename "$deb"); mirror: $mirror"

# A higher version of the same package, for the upgrade.
version=$(dpkg-deb -f "$deb" Version)
arch=$(dpkg-deb -f "$deb" Architecture)
newer=$version+recheck1
(cd build/release && cpack -G DEB -B "$work/newer" -D CPACK_PACKAGE_VERSION="$newer" \
  -D CPACK_DEBIAN_DEB_FILE_NAME="vedris_${newer}_$arch.deb" >"$work/cpack.log")
check "a package of version $newer is made from the same build" \
  test -f "$work/newer/vedris_${newer}_$arch.deb"

step "debootstrap --variant=minbase $release"
start=$SECONDS
debootstrap --variant=minbase "$release" "$root" "$mirror" >"$work/debootstrap.log" 2>&1 ||
  { tail -20 "$work/debootstrap.log"; exit 1; }
{
  echo "deb $mirror $release main"
  echo "deb $mirror $release-updates main"
  [ -n "$security" ] && echo "deb $security $release-security main"
} >"$root/etc/apt/sources.list"
# No service of a package installed below may start inside the root.
printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"
chmod 755 "$root/usr/sbin/policy-rc.d"
mount -t proc proc "$root/proc"
mount -t sysfs sys "$root/sys"
mount --bind /dev "$root/dev"
mount --bind /dev/pts "$root/dev/pts"
mount -t tmpfs shm "$root/dev/shm"
in_root apt-get update -qq >"$work/apt.log" 2>&1
ok "a clean $debian root in $((SECONDS - start)) s"

step "apt-get install ./$(basename "$deb")"
cp "$deb" "$work/newer/vedris_${newer}_$arch.deb" "$root/tmp/"
in_root dpkg-query -W -f '${Package}\n' | sort >"$work/before"
start=$SECONDS
in_root apt-get install -y -q "/tmp/$(basename "$deb")" >"$work/install.log" 2>&1 ||
  { tail -30 "$work/install.log"; exit 1; }
in_root dpkg-query -W -f '${Package}\n' | sort >"$work/after"
added=$(comm -13 "$work/before" "$work/after")
ok "installed in $((SECONDS - start)) s with $(wc -l <<<"$added") packages"
check "no development package or compiler among them" no_build_tools
check "the group vedris exists" in_root getent group vedris >/dev/null
check "Results/ is root:vedris, mode 2770" \
  test "$(stat_of '%U:%G %a' /var/opt/vedris/Results)" = "root:vedris 2770"
check "the demo assessments are in Assessments/" test -f "$index"
check "/etc/opt/vedris/vedris.ini is a conffile" conffile_listed
check "/usr/bin/vedris leads to /opt/vedris/vedris" \
  test "$(chroot "$root" readlink -f /usr/bin/vedris)" = /opt/vedris/vedris
for dep in $(dpkg-deb -f "$deb" Depends | tr ',|' '\n\n' | sed -E 's/^ *([^ ]+).*/\1/'); do
  provider=$(provider_of "$dep")
  [ "${provider%% *}" = "$dep" ] || echo "note  $dep is provided by ${provider:-nothing installed}"
done

step "users and a display (xvfb, x11-utils only for this check)"
in_root apt-get install -y -q --no-install-recommends xvfb xauth x11-utils >>"$work/apt.log" 2>&1
in_root useradd -m -s /bin/bash -G vedris kandydat1
in_root useradd -m -s /bin/bash -G vedris kandydat2
in_root useradd -m -s /bin/bash storonnii
# WebKit runs its web process in a bubblewrap sandbox, which needs user namespaces. A
# container that refuses them to ordinary users would end every client at its first page.
sandbox_env=()
if ! chroot "$root" /usr/bin/setpriv --reuid=kandydat1 --regid=kandydat1 --init-groups \
  /usr/bin/unshare -U /bin/true 2>/dev/null; then
  echo "note  this machine refuses user namespaces to ordinary users; the clients below run"
  echo "      with WEBKIT_DISABLE_SANDBOX_THIS_IS_DANGEROUS=1"
  sandbox_env=(WEBKIT_DISABLE_SANDBOX_THIS_IS_DANGEROUS=1)
fi
chroot "$root" /usr/bin/Xvfb $display -screen 0 1280x1024x24 -nolisten tcp \
  >"$work/xvfb.log" 2>&1 &
wait_for 20 test -S "$root/tmp/.X11-unix/X${display#:}" || { cat "$work/xvfb.log"; exit 1; }

start_client kandydat1
first=$client_pid
check "kandydat1: the window appears" wait_for 60 window_shown
check "kandydat1: results.xml is created in /var/opt/vedris/Results/" wait_for 30 results_ready
check "kandydat1: the start page loads" wait_for 60 log_has kandydat1 "start page loaded"
check "kandydat1: the client is still running" running "$first"
check "results.xml belongs to the group vedris" test "$(stat_of %G "$results")" = vedris

start_client kandydat2
check "kandydat2, while kandydat1 works: told the client is already running" \
  wait_for 30 log_has kandydat2 "Ведрис уже запущено"
check "the refused client ends on SIGTERM" stop_client "$client_pid"
start_client storonnii
check "a user outside the group: refused with a message" \
  wait_for 30 log_has storonnii "неможливо записувати"
check "the refused client ends on SIGTERM" stop_client "$client_pid"
check "kandydat1 ends by itself on SIGTERM" stop_client "$first"

# The administrator shows an assessment at once; the second user's close saves it.
sed -i 's/src="vitannia.html"/src="vidhuk.html"/' "$index"
start_client kandydat2
check "kandydat2's turn: the window appears" wait_for 60 window_shown
check "kandydat2's turn: the assessment page is filled" wait_for 60 log_has kandydat2 "form filled"
check "kandydat2 ends by itself on SIGTERM" stop_client "$client_pid"
check "kandydat2's close saved results.xml as kandydat2:vedris" \
  test "$(stat_of %U:%G "$results")" = kandydat2:vedris
check "the saved results.xml is whole" grep -q '</qti_result_report>' "$results"

# The regional working group's collector takes the saved file in.
region_db=/tmp/region.db
check "vedris-results imports the saved results.xml" \
  in_root vedris-results import "$region_db" /var/opt/vedris/Results/results.xml --label "Перевірка"
imported_again() {
  in_root vedris-results import "$region_db" /var/opt/vedris/Results/results.xml 2>&1 |
    grep -q "повторів 1"
}
check "a second import counts it as a repeat" imported_again
exported() {
  in_root vedris-results export "$region_db" --xlsx /tmp/region.xlsx --csv /tmp/region-csv \
    --html /tmp/region.html --assessments /var/opt/vedris/Assessments &&
    [ -s "$root/tmp/region.xlsx" ] && grep -q '</html>' "$root/tmp/region.html" &&
    ls "$root"/tmp/region-csv/*.csv >/dev/null
}
check "vedris-results exports its tables and report from it" exported

screen_reader_check

step "upgrade to $newer"
sed -i 's/^ClientId=.*/ClientId=PEREVIRKA-01/' "$settings"
results_sum=$(sum_of "$results")
settings_sum=$(sum_of "$settings")
index_sum=$(sum_of "$index")
in_root apt-get install -y -q "/tmp/vedris_${newer}_$arch.deb" >"$work/upgrade.log" 2>&1 ||
  { tail -30 "$work/upgrade.log"; exit 1; }
check "version $newer is installed" \
  test "$(chroot "$root" dpkg-query -W -f '${Version}' vedris)" = "$newer"
check "upgrade: results.xml unchanged" test "$(sum_of "$results")" = "$results_sum"
check "upgrade: the edited settings file unchanged" test "$(sum_of "$settings")" = "$settings_sum"
check "upgrade: the administrator's index.html unchanged" test "$(sum_of "$index")" = "$index_sum"
check "upgrade: Results/ still root:vedris, mode 2770" \
  test "$(stat_of '%U:%G %a' /var/opt/vedris/Results)" = "root:vedris 2770"

step "remove and purge"
in_root apt-get remove -y -q vedris >"$work/remove.log" 2>&1
check "remove: the program is gone" test ! -e "$root/opt/vedris/vedris"
check "remove: results.xml unchanged" test "$(sum_of "$results")" = "$results_sum"
check "remove: the settings file is kept" test "$(sum_of "$settings")" = "$settings_sum"
in_root apt-get purge -y -q vedris >"$work/purge.log" 2>&1
check "purge: results.xml unchanged" test "$(sum_of "$results")" = "$results_sum"
check "purge: says where the answers were left" grep -q "/var/opt/vedris/Results" "$work/purge.log"
grep "Ведрис" "$work/purge.log" | sed 's/^/      /'

echo "$pass passed, $fail failed"
[ "$fail" -eq 0 ]
