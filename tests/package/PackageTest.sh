#!/usr/bin/env bash
# The Debian package, end to end:
#   PackageTest.sh BUILD_DIR SOURCE_DIR VERSION
# builds it with CPack from BUILD_DIR into a temporary folder, checks its
# contents, control fields, conffiles, unit and configuration with dpkg-deb,
# and fails on lintian's errors (printing every tag). With TAVO_TEST_INSTALL=1
# (CI; as root, on a machine without a tavo package) it also installs it,
# checks and runs the installed agent, then removes and purges it and checks
# that nothing is left. systemd need not run: nothing here starts a service.
set -euo pipefail

build=$1
source=$2
version=$3
arch=$(dpkg --print-architecture)
work=$(mktemp -d /tmp/tavo-package-test.XXXXXX)
installed=0
pids=()

cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  if [ "$installed" = 1 ]; then dpkg --purge tavo >/dev/null 2>&1 || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "FAIL: $*" >&2
  exit 1
}
expect_eq() { # what, got, expected
  [ "$2" = "$3" ] || fail "$1: got
$2
expected
$3"
}
# wait_for SECONDS COMMAND...: true once COMMAND succeeds within SECONDS.
wait_for() {
  local deadline=$((SECONDS + $1))
  shift
  until "$@"; do
    [ $SECONDS -lt $deadline ] || return 1
    sleep 0.2
  done
}

# ---- build ----
echo "== cpack"
(cd "$build" && cpack -G DEB -B "$work/out" >"$work/cpack.log" 2>&1) ||
  { cat "$work/cpack.log" >&2; fail "cpack failed"; }
deb=$work/out/tavo_${version}_${arch}.deb
[ -f "$deb" ] || { ls "$work/out" >&2; fail "no $deb"; }

# ---- contents ----
echo "== contents"
# Every entry: type and mode, owner, path (directories end in "/").
dpkg-deb -c "$deb" | awk '{ print substr($1, 1, 10), $2, $6 }' | sort -k3 >"$work/contents"
files=$(awk '$1 !~ /^d/ { print $3 }' "$work/contents")
expect_eq "files" "$files" "./etc/tavo/heartbeat.txt
./etc/tavo/report.txt
./etc/tavo/tavo.ini
./usr/bin/tavo
./usr/bin/tavot
./usr/lib/systemd/system/ORVO_Tavo.service
./usr/lib/tavo/libtavo_desktop.so
./usr/share/doc/tavo/changelog.gz
./usr/share/doc/tavo/copyright"
mode_of() { awk -v p="$1" '$3 == p { print $1, $2 }' "$work/contents"; }
for entry in "./usr/bin/tavo -rwxr-xr-x" "./usr/bin/tavot -rwxr-xr-x" \
  "./usr/lib/tavo/libtavo_desktop.so -rw-r--r--" "./etc/tavo/tavo.ini -rw-r-----" \
  "./usr/lib/systemd/system/ORVO_Tavo.service -rw-r--r--" "./var/log/tavo/ drwxr-x---" \
  "./etc/tavo/ drwxr-xr-x" "./usr/lib/tavo/ drwxr-xr-x"; do
  path=${entry% *}
  expect_eq "mode of $path" "$(mode_of "$path")" "${entry##* } root/root"
done
if awk '$2 != "root/root"' "$work/contents" | grep -q .; then
  fail "entries not owned by root: $(awk '$2 != "root/root"' "$work/contents")"
fi

# ---- control ----
echo "== control"
field() { dpkg-deb -f "$deb" "$1"; }
expect_eq "Package" "$(field Package)" tavo
expect_eq "Version" "$(field Version)" "$version"
expect_eq "Architecture" "$(field Architecture)" "$arch"
depends=$(field Depends)
for lib in libc6 libstdc++6 libnettle8 libqt6core6 libqt6widgets6 libssl3; do
  [[ ", $depends," == *", $lib"[\ ,]* ]] || fail "Depends lacks $lib: $depends"
done
dpkg-deb -e "$deb" "$work/control"
expect_eq "conffiles" "$(cat "$work/control/conffiles")" "/etc/tavo/tavo.ini
/etc/tavo/report.txt
/etc/tavo/heartbeat.txt"
for script in postinst prerm postrm; do
  [ -x "$work/control/$script" ] || fail "$script missing or not executable"
  sh -n "$work/control/$script" || fail "$script: syntax"
done
# Where neither systemctl nor deb-systemd-invoke can be found (a build
# container), no script fails; with an empty PATH none can run anything.
# (postrm purge removes folders: the install below runs it.)
mkdir "$work/no-tools"
for call in "postinst configure" "postinst configure 1.0.0" "prerm remove" "prerm upgrade 99" \
  "postrm remove"; do
  read -r -a words <<<"$call"
  PATH=$work/no-tools /bin/sh "$work/control/${words[0]}" "${words[@]:1}" >"$work/script.out" 2>&1 ||
    fail "$call fails without systemctl: $(cat "$work/script.out")"
done

# ---- unit and configuration ----
echo "== unit and configuration"
dpkg-deb -x "$deb" "$work/root"
unit=$(cat "$work/root/usr/lib/systemd/system/ORVO_Tavo.service")
for line in "Type=notify" "ExecStart=/usr/bin/tavo --config /etc/tavo/tavo.ini" \
  "Restart=on-failure" "RestartSec=10" "WatchdogSec=60" "WantedBy=multi-user.target"; do
  grep -qxF "$line" <<<"$unit" || fail "unit lacks \"$line\":
$unit"
done
ini=$work/root/etc/tavo/tavo.ini
for line in "Port=162" "Directory=/var/log/tavo" "UserName=TavoSnmpTrap"; do
  grep -qxF "$line" "$ini" || fail "tavo.ini lacks \"$line\""
done
if grep -Eq '^(UserPassword|PrivacyPassword)=' "$ini"; then
  fail "tavo.ini sets a password: $(grep -E '^(UserPassword|PrivacyPassword)=' "$ini")"
fi
grep -q "^; Set both SNMPv3 passwords here" "$ini" || fail "tavo.ini does not say to set them"
for template in report.txt heartbeat.txt; do
  cmp -s "$work/root/etc/tavo/$template" "$source/examples/$template" ||
    fail "$template differs from the example's"
done
grep -q "^Files: \*" "$work/root/usr/share/doc/tavo/copyright" || fail "copyright has no Files: *"
zcat "$work/root/usr/share/doc/tavo/changelog.gz" | head -1 | grep -qxF \
  "tavo ($version) stable; urgency=medium" || fail "changelog's first line"

# ---- lintian ----
echo "== lintian"
command -v lintian >/dev/null || fail "lintian is not installed (scripts/setup installs it)"
status=0
lintian --fail-on error --display-info --tag-display-limit 0 "$deb" >"$work/lintian" 2>&1 ||
  status=$?
cat "$work/lintian"
[ $status -eq 0 ] || fail "lintian reports errors (status $status)"

if [ "${TAVO_TEST_INSTALL:-}" != 1 ]; then
  echo "PASS (set TAVO_TEST_INSTALL=1 to install, run, remove and purge it too)"
  exit 0
fi

# ---- install ----
echo "== install"
[ "$(id -u)" = 0 ] || fail "TAVO_TEST_INSTALL=1 needs root"
# Never take the place of a package or a configuration someone uses.
if dpkg-query -W -f='${Status}' tavo 2>/dev/null | grep -q "installed\|config-files"; then
  fail "a tavo package is on this machine already; the test would remove it"
fi
for path in /etc/tavo /var/log/tavo /usr/lib/tavo /usr/bin/tavo; do
  [ ! -e "$path" ] || fail "$path exists already; the test would remove it"
done
systemd_runs=0
[ -d /run/systemd/system ] && systemd_runs=1
export DEBIAN_FRONTEND=noninteractive
installed=1
if ! dpkg -i "$deb" >"$work/dpkg-i.log" 2>&1; then
  apt-get -f install -y --no-install-recommends >>"$work/dpkg-i.log" 2>&1 ||
    { cat "$work/dpkg-i.log" >&2; fail "dpkg -i and apt-get -f failed"; }
fi
expect_eq "status" "$(dpkg-query -W -f='${Status}' tavo)" "install ok installed"
expect_eq "log folder" "$(stat -c '%a %U:%G' /var/log/tavo)" "750 root:root"
[ ! -e /etc/systemd/system/multi-user.target.wants/ORVO_Tavo.service ] ||
  fail "the package enabled the service"
# Who runs the installed programs: no build tree, no library path.
clean_env=(env -u TAVO_UNIT_DIR -u TAVO_PACKAGE_UNIT_DIR -u TAVO_SYSTEMCTL -u NOTIFY_SOCKET
  -u LD_LIBRARY_PATH -u DISPLAY -u WAYLAND_DISPLAY)

echo "== --check"
status=0
"${clean_env[@]}" /usr/bin/tavo --check --config /etc/tavo/tavo.ini >"$work/check" 2>&1 || status=$?
[ $status -eq 0 ] || { cat "$work/check" >&2; fail "--check ended with $status"; }
grep -q "SNMP trap receiver uses the built-in SNMPv3 password(s)" "$work/check" ||
  fail "--check: no warning of the built-in passwords"
grep -q "SNMP trap receiver would listen on 127.0.0.1:162" "$work/check" ||
  fail "--check: not on port 162"

echo "== -install and -uninstall refused"
for sw in -install -uninstall; do
  status=0
  "${clean_env[@]}" TAVO_SYSTEMCTL=/bin/false /usr/bin/tavo "$sw" >"$work/sw.out" 2>"$work/sw.err" ||
    status=$?
  expect_eq "$sw status" "$status" 1
  grep -qF "Service \"ORVO_Tavo\" is managed by its package (/usr/lib/systemd/system/ORVO_Tavo.service)" \
    "$work/sw.err" || fail "$sw: $(cat "$work/sw.err")"
done
[ ! -e /etc/systemd/system/ORVO_Tavo.service ] || fail "-install wrote a unit"
[ ! -e /usr/bin/tavo.log ] || fail "-install wrote /usr/bin/tavo.log"

echo "== --foreground counts a trap into /var/log/tavo"
port=$(/usr/bin/python3 -c 'import socket; s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
mkdir "$work/run"
sed "s/^Port=162\$/Port=$port/" /etc/tavo/tavo.ini >"$work/run/tavo.ini"
cp /etc/tavo/report.txt /etc/tavo/heartbeat.txt "$work/run/"
log=/var/log/tavo/tavo.log
"${clean_env[@]}" TAVO_INSTANCE="PackageTest-$$" \
  /usr/bin/tavo --foreground --config "$work/run/tavo.ini" >"$work/fg.out" 2>&1 &
fg=$!
pids+=("$fg")
port_taken() { ss -Huln "sport = :$port" | grep -q .; }
wait_for 20 port_taken || { cat "$work/fg.out" >&2; fail "the receiver never took port $port"; }
"${clean_env[@]}" /usr/bin/tavot --v1 --port "$port" >"$work/tavot.out" 2>&1 ||
  fail "tavot: $(cat "$work/tavot.out")"
counted() { grep -qF 'Report "TestSender-100": Counter = 1 > 0' "$log"; }
# One check cycle is 10 s.
wait_for 30 counted || { cat "$log" "$work/fg.out" >&2; fail "the trap was not counted"; }
grep -qF "SNMP trap packet received from 127.0.0.1" "$log" || fail "no packet line"
kill -TERM "$fg"
ended() { ! kill -0 "$fg" 2>/dev/null; }
wait_for 10 ended || fail "--foreground did not end on SIGTERM"
status=0
wait "$fg" || status=$?
expect_eq "--foreground status" "$status" 0
# Log lines end in CR LF; the time stamp is two words.
expect_eq "last log line" "$(tail -1 "$log" | tr -d '\r' | cut -d' ' -f3-)" "Info:  Service closed"

echo "== the desktop plugin is found in /usr/lib/tavo"
mkdir "$work/desktop"
printf '[Logging]\nLevel=Trace\n' >"$work/desktop/tavo.ini"
"${clean_env[@]}" QT_QPA_PLATFORM=offscreen TAVO_INSTANCE="PackageTest-desktop-$$" \
  /usr/bin/tavo --config "$work/desktop/tavo.ini" >"$work/desktop.out" 2>&1 &
desktop=$!
pids+=("$desktop")
desktop_up() { grep -qF "Initialization done" "$work/desktop/tavo.log" 2>/dev/null; }
wait_for 20 desktop_up || { cat "$work/desktop.out" >&2; fail "the desktop start failed"; }
kill -TERM "$desktop"
status=0
wait "$desktop" || status=$?
expect_eq "desktop status" "$status" 0
grep -qF "Info:  Application closed" "$work/desktop/tavo.log" || fail "desktop: no closing line"

# ---- remove ----
echo "== remove"
wants=/etc/systemd/system/multi-user.target.wants/ORVO_Tavo.service
if [ $systemd_runs = 0 ]; then
  # Without a running systemd, enabling only makes the link: removal must take it.
  systemctl enable ORVO_Tavo.service >"$work/enable.log" 2>&1 || fail "$(cat "$work/enable.log")"
  [ -L $wants ] || fail "systemctl enable made no $wants"
fi
dpkg -r tavo >"$work/dpkg-r.log" 2>&1 || { cat "$work/dpkg-r.log" >&2; fail "dpkg -r failed"; }
expect_eq "status after -r" "$(dpkg-query -W -f='${Status}' tavo)" "deinstall ok config-files"
[ ! -e $wants ] && [ ! -L $wants ] || fail "dpkg -r left the service enabled"
for path in /usr/bin/tavo /usr/bin/tavot /usr/lib/tavo /usr/lib/systemd/system/ORVO_Tavo.service \
  /usr/share/doc/tavo; do
  [ ! -e "$path" ] || fail "dpkg -r left $path"
done
for path in /etc/tavo/tavo.ini /etc/tavo/report.txt /etc/tavo/heartbeat.txt "$log"; do
  [ -f "$path" ] || fail "dpkg -r removed $path"
done

echo "== purge"
dpkg --purge tavo >"$work/dpkg-p.log" 2>&1 || { cat "$work/dpkg-p.log" >&2; fail "purge failed"; }
installed=0
for path in /etc/tavo /var/log/tavo /usr/bin/tavo.log; do
  [ ! -e "$path" ] || fail "purge left $path"
done
if dpkg-query -W -f='${Status}' tavo 2>/dev/null | grep -q "installed\|config-files"; then
  fail "dpkg still knows tavo: $(dpkg-query -W -f='${Status}' tavo)"
fi
echo "PASS"
