#!/usr/bin/env bash
# Demo: a private network of namespaces with an emulated ENCODER and two DECODERs, and the
# station on it, on your display. Needs root (network namespaces); uses sudo when available.
#
#   scripts/demo.sh [--no-station] [station arguments, e.g. LL or GPS]
#
# --no-station builds the network and the elements only and waits; enter the station's side
# with the command it prints. Closing the station's window or Ctrl-C removes the network.
# The station keeps nms.ini, its settings and its single-instance lock in build/demo/, so the
# user's own settings stay untouched and a real station may run at the same time.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
KN_BUILD=$(cd "${KN_BUILD:-$here/../build}" 2>/dev/null && pwd) || {
    echo "demo.sh: build directory ${KN_BUILD:-$here/../build} not found; run ./run.sh --demo" >&2
    exit 1
}
export KN_BUILD

if [ "$(id -u)" -ne 0 ]; then
    if command -v sudo >/dev/null 2>&1; then
        echo "demo.sh: network namespaces need root; asking sudo." >&2
        exec sudo --preserve-env=DISPLAY,XAUTHORITY,XDG_RUNTIME_DIR,WAYLAND_DISPLAY,KN_BUILD \
            "$here/demo.sh" "$@"
    fi
    echo "demo.sh: needs root to build network namespaces (and sudo is not installed)." >&2
    echo "Run it as root: sudo $0 $*" >&2
    exit 1
fi

with_station=1
if [ "${1:-}" = "--no-station" ]; then
    with_station=0
    shift
fi

emulator=$KN_BUILD/tools/kestrune-element
station=$KN_BUILD/app/kestrune-nms
needed=("$emulator")
[ $with_station -eq 1 ] && needed+=("$station")
for f in "${needed[@]}"; do
    if [ ! -x "$f" ]; then
        echo "demo.sh: $f is not built; run ./run.sh --demo" >&2
        exit 1
    fi
done
command -v ip >/dev/null || { echo "demo.sh: the 'ip' tool (iproute2) is missing" >&2; exit 1; }

prefix="kn$$-d-"
br=${prefix}br
st=${prefix}st
work=$KN_BUILD/demo
mkdir -p "$work"
namespaces=()
pids=()

cleanup() {
    trap - EXIT INT TERM
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    for p in "${pids[@]}"; do wait "$p" 2>/dev/null || true; done
    for ((i = ${#namespaces[@]} - 1; i >= 0; i--)); do
        ip netns del "${namespaces[i]}" 2>/dev/null || true
    done
    echo "demo.sh: network removed."
}
trap cleanup EXIT
trap 'exit 130' INT TERM

new_ns() {
    ip netns add "$1"
    namespaces+=("$1")
    ip netns exec "$1" sysctl -q -w net.ipv6.conf.all.disable_ipv6=1 \
        net.ipv6.conf.default.disable_ipv6=1
    ip -n "$1" link set lo up
}

port=0
# plug <ns> <dev> <mac> <address/prefix>: a veth from <ns> to the bridge.
plug() {
    local peer=p$port
    port=$((port + 1))
    ip link add "$2" address "$3" netns "$1" type veth peer name "$peer" netns "$br"
    ip -n "$br" link set "$peer" master br0 up
    ip -n "$1" link set "$2" up
    ip -n "$1" addr add "$4" dev "$2"
}

new_ns "$br"
ip -n "$br" link add br0 type bridge
ip -n "$br" link set br0 up
new_ns "$st"
ip netns exec "$st" sysctl -q -w "net.ipv4.ping_group_range=0 2147483647"
plug "$st" eth0 02:00:00:00:00:01 192.0.2.1/24

# element <index> <address> <mac> <emulator arguments...>
element() {
    local i=$1 address=$2 mac=$3
    shift 3
    local ns=${prefix}e$i
    new_ns "$ns"
    plug "$ns" eth0 "$mac" "$address/24"
    ip netns exec "$ns" "$emulator" --address "$address" --quiet "$@" \
        </dev/null >"$work/element$i.out" 2>"$work/element$i.err" &
    pids+=($!)
    for _ in $(seq 100); do
        grep -q '^ready$' "$work/element$i.out" 2>/dev/null && return 0
        kill -0 "${pids[-1]}" 2>/dev/null || break
        sleep 0.05
    done
    echo "demo.sh: emulator for $address did not start:" >&2
    cat "$work/element$i.err" >&2
    exit 1
}

# The elements move while one watches: the level swings, counters grow, delays wander.
element 0 192.0.2.10 02:00:00:00:00:10 --role encoder --name "STUDIO MPX" --serial 10010 \
    --remote 239.192.0.1 --tx 1 --version 2.4 --sfn 1 --buffer 4 \
    --level-period 6 --peak 7000000 --count-step 1000 \
    --stats "txok=125000,rxok=3400,txerr=2,rxerr=0,ptpok=900,ptperr=1,audok=0,auderr=0"
element 1 192.0.2.11 02:00:00:00:00:11 --role decoder --name "TX NORTH" --serial 10011 \
    --remote 239.192.0.1 --tx 1 --version 2.4 --sfn 1 --buffer 40 --att 12 --sdm 1 --sdl 30 \
    --sdt 20 --count-step 1000 --error-step 1 --delay-wander 3000 \
    --stats "txok=3300,rxok=124800,txerr=0,rxerr=3,ptpok=898,ptperr=2,clk=-120,meas=1000,audok=124500,auderr=12,avg=100000,min=90000,max=110000,add=25000,servo=-120,autoservo=1"
element 2 192.0.2.12 02:00:00:00:00:12 --role decoder --name "TX SOUTH" --serial 10012 \
    --remote 239.192.0.1 --tx 1 --version 2.4 --sfn 1 --buffer 40 --att 0 \
    --count-step 1000 --delay-wander 5000 \
    --stats "txok=3200,rxok=124700,txerr=0,rxerr=0,ptpok=899,ptperr=0,clk=45,meas=1400,audok=124600,auderr=0,avg=140000,min=130000,max=150000,add=0,servo=0,autoservo=0"

echo "Demo network: station 192.0.2.1 (namespace $st); ENCODER 192.0.2.10, DECODERs 192.0.2.11 and 192.0.2.12."

if [ $with_station -eq 0 ]; then
    echo "Station side:  ip netns exec $st bash"
    echo "Ctrl-C removes the network."
    while :; do
        sleep 3600 &
        pids+=($!)
        wait $!
    done
fi

# The station gets a program directory, a settings file and a single-instance lock of its own:
# the user's nms.ini and settings stay untouched, and a real station may run beside it.
mkdir -p "$work/config/Talvoren"
demo_settings=$work/config/Talvoren/Talvoren.ini
[ -f "$demo_settings" ] || printf '[Kestrune]\nNMS%%20IP%%20Address=192.0.2.1\n' >"$demo_settings"
station_env=(KESTRUNE_PROGRAM_DIR="$work" XDG_CONFIG_HOME="$work/config"
    KESTRUNE_LOCK_PATH="$work/kestrune-nms.lock")
echo "Demo station's element database: $work/nms.ini"
echo "Demo station's settings:         $demo_settings (yours are not touched)"
for v in DISPLAY XAUTHORITY XDG_RUNTIME_DIR WAYLAND_DISPLAY QT_QPA_PLATFORM LANG; do
    [ -n "${!v:-}" ] && station_env+=("$v=${!v}")
done
[ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] ||
    echo "demo.sh: neither DISPLAY nor WAYLAND_DISPLAY is set; the window may not open." >&2
echo "In the station check that the NMS interface is 192.0.2.1, then Auto Discovery."

run_as=()
if [ -n "${SUDO_UID:-}" ] && [ "${SUDO_UID}" != 0 ]; then
    # Back to the user who called sudo: settings and files stay theirs.
    chown -R "$SUDO_UID:$SUDO_GID" "$work"
    user_home=$(getent passwd "$SUDO_UID" | cut -d: -f6)
    station_env+=(HOME="$user_home" USER="${SUDO_USER:-}" LOGNAME="${SUDO_USER:-}")
    run_as=(setpriv --reuid="$SUDO_UID" --regid="$SUDO_GID" --init-groups)
fi
status=0
ip netns exec "$st" "${run_as[@]}" env "${station_env[@]}" "$station" "$@" </dev/null || status=$?
exit $status
