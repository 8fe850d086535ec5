#!/usr/bin/env bash
# Builds the Debian package, installs it with dpkg, starts the installed station until its
# title prints (its message boxes on the console) and removes the package again. Needs root.
set -euo pipefail
source "$(dirname "$0")/setup.sh"
if [ "$(id -u)" -ne 0 ]; then
    echo "check-package.sh: needs root (dpkg)" >&2
    exit 1
fi
kn_install_missing dpkg-dev
kn_build

rm -rf "$KN_BUILD/package"
(cd "$KN_BUILD" && cpack -G DEB >/dev/null)
deb=$(echo "$KN_BUILD"/package/kestrune-nms_*.deb)
[ -f "$deb" ] || { echo "check-package.sh: cpack made no package" >&2; exit 1; }
dpkg-deb -I "$deb" | sed -n 's/^ \(Package\|Version\|Installed-Size\|Depends\):/  &/p'
echo "  size: $(stat -c %s "$deb") bytes"

home=$(mktemp -d)
removed=0
finish() {
    [ $removed -eq 1 ] || dpkg -r kestrune-nms >/dev/null || true
    rm -rf "$home"
}
trap finish EXIT
dpkg -i "$deb" >/dev/null

# A user's first start as root: no settings but the notice acknowledged and loopback chosen.
mkdir -p "$home/.config/Talvoren"
printf '[Kestrune]\nEULA1=1\nNMS%%20IP%%20Address=127.0.0.1\n' >"$home/.config/Talvoren/Talvoren.ini"
out=$(unshare -n sh -c 'ip link set lo up && exec "$@"' station env -i PATH=/usr/bin:/bin \
    HOME="$home" QT_QPA_PLATFORM=offscreen KESTRUNE_MESSAGEBOXES=console KESTRUNE_PRINT_TITLE=1 \
    kestrune-nms </dev/null)
echo "$out" | sed 's/^/  /'
grep -q '^TITLE Kestrune NMS v.3.4.8 - Talvoren Broadcast$' <<<"$out" || {
    echo "check-package.sh: the installed station printed no title" >&2
    exit 1
}
# Its nms.ini belongs in the user's data folder, never beside /usr/bin/kestrune-nms.
[ -d "$home/.local/share/Talvoren/Kestrune" ] && [ ! -e /usr/bin/nms.ini ] || {
    echo "check-package.sh: the installed station chose the wrong data folder" >&2
    exit 1
}

dpkg -r kestrune-nms >/dev/null
removed=1
if dpkg-query -W -f='${Status}' kestrune-nms 2>/dev/null | grep -q 'install ok installed' ||
    [ -e /usr/bin/kestrune-nms ] || [ -e /usr/share/applications/com.talvoren.KestruneNMS.desktop ]; then
    echo "check-package.sh: the package did not remove cleanly" >&2
    exit 1
fi
echo "package built, installed, started and removed: OK"
