#!/usr/bin/env bash
# Installs the build into a staging folder and checks what lands where, the desktop entry and
# the AppStream data with their validators, and which nms.ini an installed station and a
# copied one read.   check-install.sh <build folder>
set -euo pipefail
build=$(cd "$1" && pwd)
source=$(cd "$(dirname "$0")/../.." && pwd)
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
listing() { (cd "$root" && find . \( -type f -o -type l \) | LC_ALL=C sort); }
listing >"$stage/installed"
{
    echo ./usr/bin/kestrune-element
    echo ./usr/bin/kestrune-nms
    echo ./usr/share/applications/$id.desktop
    echo ./usr/share/doc/kestrune-nms/changelog.gz
    echo ./usr/share/doc/kestrune-nms/copyright
    for s in 128 16 24 256 32 48 64; do echo "./usr/share/icons/hicolor/${s}x$s/apps/$id.png"; done
    echo ./usr/share/icons/hicolor/scalable/apps/$id.svg
    for page in "$source"/packaging/man/*.1; do echo "./usr/share/man/man1/${page##*/}.gz"; done
    echo ./usr/share/metainfo/$id.metainfo.xml
} | LC_ALL=C sort >"$stage/expected"
diff -u "$stage/expected" "$stage/installed"

desktop-file-validate "$root/usr/share/applications/$id.desktop"
appstreamcli validate --no-net --strict "$root/usr/share/metainfo/$id.metainfo.xml" >/dev/null

# station <program> <home>: starts it until its title prints; its boxes on standard output.
station() {
    mkdir -p "$2/config/Talvoren" && mkdir -p -m 700 "$2/runtime"
    printf '[Kestrune]\nEULA1=1\nNMS%%20IP%%20Address=127.0.0.1\n' >"$2/config/Talvoren/Talvoren.ini"
    # Its own runtime folder too, or Qt makes one in /tmp that outlives the test.
    env -u KESTRUNE_PROGRAM_DIR HOME="$2" XDG_DATA_HOME="$2/data" XDG_CONFIG_HOME="$2/config" \
        XDG_RUNTIME_DIR="$2/runtime" KESTRUNE_LOCK_PATH="$2/lock" KESTRUNE_MESSAGEBOXES=console \
        KESTRUNE_PRINT_TITLE=1 QT_QPA_PLATFORM=offscreen "$1" </dev/null
}
element='[020000000010]\r\nROLE=1\r\nNAME=STUDIO\r\n'
empty='Local database is empty'
fail() { echo "FAIL: $*" >&2; exit 1; }

# Installed: nms.ini is the user's, in $XDG_DATA_HOME/Talvoren/Kestrune; one beside the
# program is not read, and starting writes nothing into the installation.
printf "$element" >"$root/usr/bin/nms.ini"
out=$(station "$root/usr/bin/kestrune-nms" "$stage/home1")
grep -q "$empty" <<<"$out" || fail "installed station read the nms.ini beside it: $out"
[ -d "$stage/home1/data/Talvoren/Kestrune" ] || fail "no data folder for the installed station"
[ ! -e "$stage/home1/data/Talvoren/Kestrune/nms.ini" ] || fail "nms.ini made before any write"
rm "$root/usr/bin/nms.ini"
[ "$(listing)" = "$(cat "$stage/installed")" ] || fail "the station wrote into the installation"
printf "$element" >"$stage/home1/data/Talvoren/Kestrune/nms.ini"
out=$(station "$root/usr/bin/kestrune-nms" "$stage/home1")
grep -q "$empty" <<<"$out" && fail "installed station did not read the user's nms.ini: $out"
grep -q '^TITLE Kestrune NMS v' <<<"$out" || fail "installed station: $out"

# A copy of the build folder's program: nms.ini beside it, the user's data folder untouched.
mkdir "$stage/copy"
cp "$build/app/kestrune-nms" "$stage/copy/"
printf "$element" >"$stage/copy/nms.ini"
out=$(station "$stage/copy/kestrune-nms" "$stage/home2")
grep -q "$empty" <<<"$out" && fail "copied station did not read the nms.ini beside it: $out"
[ ! -e "$stage/home2/data/Talvoren" ] || fail "copied station made a user data folder"
echo "installed files, validators and nms.ini places: OK"
