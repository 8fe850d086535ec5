#!/usr/bin/env bash
# Builds the Debian package and lints it (no error, no warning), installs it without its
# recommends, starts the installed station twice (its title and data folder on the console,
# then its window on an X display) and removes the package again. Needs root.
set -euo pipefail
source "$(dirname "$0")/setup.sh"
if [ "$(id -u)" -ne 0 ]; then
    echo "check-package.sh: needs root (apt, dpkg)" >&2
    exit 1
fi
kn_install_missing dpkg-dev lintian x11-utils
kn_build
fail() {
    echo "check-package.sh: $*" >&2
    exit 1
}

rm -rf "$KN_BUILD/package"
(cd "$KN_BUILD" && cpack -G DEB >/dev/null)
deb=$(echo "$KN_BUILD"/package/kestrune-nms_*.deb)
[ -f "$deb" ] || fail "cpack made no package"
dpkg-deb -I "$deb" | sed -n 's/^ \(Package\|Version\|Installed-Size\|Depends\):/  &/p'
echo "  size: $(stat -c %s "$deb") bytes"
# Qt's platform plugins come as a dependency, not only as the Qt runtime's recommendation.
dpkg-deb -f "$deb" Depends | grep -qw qt6-qpa-plugins ||
    fail "the package does not depend on qt6-qpa-plugins"
# lintian says it runs as root on standard error; its tags are on standard output.
if ! tags=$(lintian --fail-on error,warning "$deb" 2>/dev/null); then
    sed 's/^/  /' <<<"$tags"
    fail "lintian: errors or warnings (or lintian failed: lintian $deb)"
fi
[ -z "$tags" ] || sed 's/^/  /' <<<"$tags"
echo "  lintian: no errors or warnings"

work=$(mktemp -d)
home=$work/home
installed=0 station_pid='' xvfb_pid=''
finish() {
    [ -z "$station_pid" ] || { kill "$station_pid" 2>/dev/null; wait "$station_pid" || true; }
    [ -z "$xvfb_pid" ] || { kill "$xvfb_pid" 2>/dev/null; wait "$xvfb_pid" || true; }
    [ $installed -eq 0 ] || dpkg --purge kestrune-nms >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap finish EXIT
trap 'exit 130' INT TERM

# Without recommends, so whatever the station needs must come through Depends.
installed=1
apt_install() {
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$deb" \
        >"$work/apt.log" 2>&1
}
apt_install || { apt-get update -qq && apt_install; } ||
    fail "apt-get could not install it: $(cat "$work/apt.log")"
echo "  installed without recommends"

# A user's first start as root: no settings but the notice acknowledged and loopback chosen.
# It runs in a network namespace of its own, so a station running here does not matter.
mkdir -p "$home/.config/Talvoren" && mkdir -m 700 "$work/runtime"
printf '[Kestrune]\nEULA1=1\nNMS%%20IP%%20Address=127.0.0.1\n' >"$home/.config/Talvoren/Talvoren.ini"
station() {
    unshare -n sh -c 'ip link set lo up && exec "$@"' station env -i PATH=/usr/bin:/bin \
        HOME="$home" XDG_RUNTIME_DIR="$work/runtime" KESTRUNE_MESSAGEBOXES=console "$@" \
        /usr/bin/kestrune-nms </dev/null
}
out=$(station QT_QPA_PLATFORM=offscreen KESTRUNE_PRINT_TITLE=1) ||
    fail "the installed station failed: $out"
echo "$out" | sed 's/^/  /'
title='Kestrune NMS v.3.4.8 - Talvoren Broadcast'
grep -qx "TITLE $title" <<<"$out" || fail "the installed station printed no title"
# Its nms.ini belongs in the user's data folder, never beside /usr/bin/kestrune-nms.
[ -d "$home/.local/share/Talvoren/Kestrune" ] && [ ! -e /usr/bin/nms.ini ] ||
    fail "the installed station chose the wrong data folder"

# Its window on an X display, through the xcb plugin as on a desktop. A dead end for D-Bus
# keeps libdbus from launching a session bus for the display.
Xvfb -displayfd 3 -nolisten tcp -screen 0 1280x1024x24 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 100); do
    [ ! -s "$work/display" ] && kill -0 "$xvfb_pid" 2>/dev/null || break
    sleep 0.1
done
[ -s "$work/display" ] || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
display=:$(cat "$work/display")
station QT_QPA_PLATFORM=xcb DISPLAY="$display" DBUS_SESSION_BUS_ADDRESS="unix:path=$work/no-bus" \
    >"$work/station.log" 2>&1 &
station_pid=$!
window() { xwininfo -display "$display" -name "$title" 2>/dev/null; }
for _ in $(seq 150); do
    window | grep -q 'Map State: IsViewable' && break
    kill -0 "$station_pid" 2>/dev/null || break
    sleep 0.2
done
window | grep -q 'Map State: IsViewable' ||
    fail "no window \"$title\" on $display; the station said: $(cat "$work/station.log")"
echo "  window on $display:$(window | sed -n 's/^xwininfo: Window id://p')," \
    "$(window | sed -n 's/^  -geometry //p'), viewable"
kill "$station_pid" && wait "$station_pid" || true
station_pid=''
kill "$xvfb_pid" && wait "$xvfb_pid" || true
xvfb_pid=''

files=$(dpkg-query -L kestrune-nms)
dpkg --purge kestrune-nms >/dev/null
installed=0
# Every file of the package gone, and its own folders; folders it shares may stay.
left=$(while read -r path; do
    [ -e "$path" ] || [ -L "$path" ] || continue
    [ -d "$path" ] && [[ $path != *kestrune* ]] && continue
    echo "$path"
done <<<"$files")
status=$(dpkg-query -W -f='${db:Status-Status}' kestrune-nms 2>/dev/null || true)
[ -z "$left" ] && [[ $status = '' || $status = not-installed ]] ||
    fail "the package did not remove cleanly (status '$status'): $left"
echo "package built, linted, installed, started, shown and removed: OK"
