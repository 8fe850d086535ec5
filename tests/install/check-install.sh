#!/usr/bin/env bash
# Installs the build into a staging folder and checks what lands where, the desktop entry and
# the AppStream data with their validators, and which nms.ini an installed station and a
# copied one read.   check-install.sh <build folder>
set -euo pipefail
build=$(cd "$1" && pwd)
id=com.talvoren.KestruneNMS
for tool in desktop-file-validate appstreamcli; do
    if ! command -v $tool >/dev/null; then
        echo "$tool is missing (scripts/setup.sh installs it)"
        case "${CI:-}" in true | 1) exit 1 ;; esac
        exit 77
    fi
done

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
root=$stage/root
DESTDIR=$root cmake --install "$build" --prefix /usr >/dev/null
listing() { (cd "$root" && find . -type f -o -type l | LC_ALL=C sort); }
listing >"$stage/installed"
icons=$(for s in 128 16 24 256 32 48 64; do echo "./usr/share/icons/hicolor/${s}x$s/apps/$id.png"; done)
diff -u - "$stage/installed" <<EOF
./usr/bin/kestrune-element
./usr/bin/kestrune-nms
./usr/share/applications/$id.desktop
./usr/share/doc/kestrune-nms/changelog.gz
./usr/share/doc/kestrune-nms/copyright
$icons
./usr/share/icons/hicolor/scalable/apps/$id.svg
./usr/share/man/man1/kestrune-element.1.gz
./usr/share/man/man1/kestrune-nms.1.gz
./usr/share/metainfo/$id.metainfo.xml
EOF
desktop-file-validate "$root/usr/share/applications/$id.desktop"
appstreamcli validate --no-net --strict "$root/usr/share/metainfo/$id.metainfo.xml" >/dev/null

# station <program> <home>: started until its title prints, its boxes on standard output, in
# a home of its own (runtime folder included, or Qt makes one in /tmp that outlives the test).
station() {
    mkdir -p "$2/config/Talvoren" && mkdir -p -m 700 "$2/runtime"
    printf '[Kestrune]\nEULA1=1\nNMS%%20IP%%20Address=127.0.0.1\n' >"$2/config/Talvoren/Talvoren.ini"
    env -u KESTRUNE_PROGRAM_DIR HOME="$2" XDG_DATA_HOME="$2/data" XDG_CONFIG_HOME="$2/config" \
        XDG_RUNTIME_DIR="$2/runtime" KESTRUNE_LOCK_PATH="$2/lock" KESTRUNE_MESSAGEBOXES=console \
        KESTRUNE_PRINT_TITLE=1 QT_QPA_PLATFORM=offscreen "$1" </dev/null
}
element() { printf '[020000000010]\r\nROLE=1\r\nNAME=STUDIO\r\n' >"$1"; }
fail() { echo "FAIL: $*" >&2; exit 1; }
empty='Local database is empty'

# Installed: nms.ini is the user's, in $XDG_DATA_HOME/Talvoren/Kestrune, made on first write; one
# beside the program is not read, and starting writes nothing into the installation.
element "$root/usr/bin/nms.ini"
out=$(station "$root/usr/bin/kestrune-nms" "$stage/home")
grep -q "$empty" <<<"$out" || fail "installed: read bin/nms.ini"
[ -d "$stage/home/data/Talvoren/Kestrune" ] || fail "installed: no data folder"
[ ! -e "$stage/home/data/Talvoren/Kestrune/nms.ini" ] || fail "installed: nms.ini made at start"
rm "$root/usr/bin/nms.ini"
[ "$(listing)" = "$(cat "$stage/installed")" ] || fail "installed: wrote into the installation"
element "$stage/home/data/Talvoren/Kestrune/nms.ini"
out=$(station "$root/usr/bin/kestrune-nms" "$stage/home")
grep -q "$empty" <<<"$out" && fail "installed: did not read the user's nms.ini"
grep -q '^TITLE Kestrune NMS v' <<<"$out" || fail "installed: $out"

# A copy of the program in a bin folder beside another program's menu entry: nms.ini beside it,
# the user's data folder untouched.
mkdir -p "$stage/copy/bin" "$stage/copy/share/applications"
touch "$stage/copy/share/applications/other.desktop"
cp "$build/app/kestrune-nms" "$stage/copy/bin/"
element "$stage/copy/bin/nms.ini"
out=$(station "$stage/copy/bin/kestrune-nms" "$stage/home2")
grep -q "$empty" <<<"$out" && fail "copy: nms.ini beside it not read"
[ ! -e "$stage/home2/data/Talvoren" ] || fail "copy: made a user data folder"
echo "installed files, validators and nms.ini places: OK"
