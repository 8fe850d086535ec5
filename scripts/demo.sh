#!/usr/bin/env bash
# Demo: a private network of namespaces with emulated elements, and the station on it, on your
# display. Needs root (network namespaces); uses sudo when available.
#
#   scripts/demo.sh [--no-station] [--elements N] [station arguments, e.g. LL or GPS]
#
# --elements N (1 to 4096, default 3): the first three are an ENCODER and two DECODERs whose
# values move, each in a namespace of its own; the others are a fleet in one namespace, each on
# an interface of its own with its own MAC, half encoders and half decoders, played by two
# emulator processes. Up to 240 elements the network is 192.0.2.0/24 with the station at
# 192.0.2.1; beyond that 198.18.0.0/15 with the station at 198.18.0.1. Element k (from 0) has
# the station's network number + 10 + k and the MAC 02:00:00 followed by 0x000010 + k.
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
elements=3
while [ $# -gt 0 ]; do
    case $1 in
    --no-station) with_station=0; shift ;;
    --elements) elements=${2:-}; shift $(($# > 1 ? 2 : 1)) ;;
    --elements=*) elements=${1#*=}; shift ;;
    *) break ;;
    esac
done
if ! [[ $elements =~ ^[0-9]{1,4}$ ]] || [ "$elements" -lt 1 ] || [ "$elements" -gt 4096 ]; then
    echo "demo.sh: --elements takes a number from 1 to 4096, not '$elements'" >&2
    exit 1
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
fleet=${prefix}fleet
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

# The network: up to 240 elements a /24 as always, beyond that the benchmarking range.
if [ "$elements" -le 240 ]; then
    base=$((192 << 24 | 2 << 8)) bits=24
else
    base=$((198 << 24 | 18 << 16)) bits=15
fi
dotted() { echo "$(($1 >> 24 & 255)).$(($1 >> 16 & 255)).$(($1 >> 8 & 255)).$(($1 & 255))"; }
mac() { printf '02:00:00:%02x:%02x:%02x' $(($1 >> 16 & 255)) $(($1 >> 8 & 255)) $(($1 & 255)); }
station_ip=$(dotted $((base + 1)))
address() { dotted $((base + 10 + $1)); } # of element k
element_mac() { mac $((0x10 + $1)); }

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
plug "$st" eth0 02:00:00:00:00:01 "$station_ip/$bits"

# start <name> <namespace> <emulator arguments...>: waits until it is "ready".
start() {
    local name=$1 ns=$2
    shift 2
    ip netns exec "$ns" "$emulator" --quiet "$@" \
        </dev/null >"$work/$name.out" 2>"$work/$name.err" &
    pids+=($!)
    for _ in $(seq 600); do
        grep -q '^ready$' "$work/$name.out" 2>/dev/null && return 0
        kill -0 "${pids[-1]}" 2>/dev/null || break
        sleep 0.05
    done
    echo "demo.sh: emulator $name did not start:" >&2
    cat "$work/$name.err" >&2
    exit 1
}

# element <k> <emulator arguments...>: element k in a namespace of its own.
element() {
    local k=$1
    shift
    new_ns "${prefix}e$k"
    plug "${prefix}e$k" eth0 "$(element_mac "$k")" "$(address "$k")/$bits"
    start "element$k" "${prefix}e$k" --address "$(address "$k")" "$@"
}

# The elements move while one watches: the level swings, counters grow, delays wander.
element 0 --role encoder --name "STUDIO MPX" --serial 10010 \
    --remote 239.192.0.1 --tx 1 --version 2.4 --sfn 1 --buffer 4 \
    --level-period 6 --peak 7000000 --count-step 1000 \
    --stats "txok=125000,rxok=3400,txerr=2,rxerr=0,ptpok=900,ptperr=1,audok=0,auderr=0"
[ "$elements" -ge 2 ] && element 1 --role decoder --name "TX NORTH" --serial 10011 \
    --remote 239.192.0.1 --tx 1 --version 2.4 --sfn 1 --buffer 40 --att 12 --sdm 1 --sdl 30 \
    --sdt 20 --count-step 1000 --error-step 1 --delay-wander 3000 \
    --stats "txok=3300,rxok=124800,txerr=0,rxerr=3,ptpok=898,ptperr=2,clk=-120,meas=1000,audok=124500,auderr=12,avg=100000,min=90000,max=110000,add=25000,servo=-120,autoservo=1"
[ "$elements" -ge 3 ] && element 2 --role decoder --name "TX SOUTH" --serial 10012 \
    --remote 239.192.0.1 --tx 1 --version 2.4 --sfn 1 --buffer 40 --att 0 \
    --count-step 1000 --delay-wander 5000 \
    --stats "txok=3200,rxok=124700,txerr=0,rxerr=0,ptpok=899,ptperr=0,clk=45,meas=1400,audok=124600,auderr=0,avg=140000,min=130000,max=150000,add=0,servo=0,autoservo=0"

if [ "$elements" -le 3 ]; then
    summary="ENCODER $(address 0)"
    [ "$elements" -ge 2 ] && summary+=", DECODERs $(address 1)"
    [ "$elements" -ge 3 ] && summary+=" and $(address 2)"
else
    # The others: one namespace, one veth each, built in one go. Each interface answers ARP for
    # its own address only and holds a permanent neighbour entry for the station: the kernel's
    # neighbour table, which all namespaces share, then counts only the station's entries.
    new_ns "$fleet"
    ip netns exec "$fleet" sysctl -q -w net.ipv4.conf.all.arp_ignore=1 \
        net.ipv4.conf.default.arp_ignore=1 net.ipv4.conf.all.arp_announce=2 \
        net.ipv4.conf.default.arp_announce=2 net.ipv4.conf.all.rp_filter=0 \
        net.ipv4.conf.default.rp_filter=0
    for ((k = 3; k < elements; k++)); do
        m=$((0x10 + k)) a=$((base + 10 + k))
        printf 'link add f%d type veth peer name e%d address 02:00:00:%02x:%02x:%02x netns %s\n' \
            $k $k $((m >> 16 & 255)) $((m >> 8 & 255)) $((m & 255)) "$fleet" >&3
        printf 'link set f%d master br0 up\n' $k >&3
        printf 'addr add %d.%d.%d.%d/%d dev e%d\n' $((a >> 24 & 255)) $((a >> 16 & 255)) \
            $((a >> 8 & 255)) $((a & 255)) $bits $k
        printf 'neigh replace %s lladdr 02:00:00:00:00:01 dev e%d nud permanent\n' "$station_ip" $k
        printf 'link set e%d up\n' $k
    done >"$work/fleet-addresses.batch" 3>"$work/fleet-links.batch"
    ip -n "$br" -batch "$work/fleet-links.batch"
    ip -n "$fleet" -batch "$work/fleet-addresses.batch"
    encoders=$(((elements - 2) / 2)) decoders=$(((elements - 3) / 2))
    start encoders "$fleet" --address "$(address 3)" --count $encoders --role encoder \
        --version 2.4 --level-period 5 --count-step 100
    [ $decoders -gt 0 ] && start decoders "$fleet" --address "$(address $((3 + encoders)))" \
        --count $decoders --role decoder --version 2.4 --buffer 40 --count-step 100 \
        --stats "avg=100000,min=90000,max=110000" --delay-wander 2000
    summary="ENCODER $(address 0), DECODERs $(address 1) and $(address 2), and $((elements - 3))"
    summary+=" more from $(address 3) to $(address $((elements - 1))) (namespace $fleet)"
    limit=$(cat /proc/sys/net/ipv4/neigh/default/gc_thresh3 2>/dev/null || echo 1024)
    [ "$elements" -le $((limit - 24)) ] || echo "demo.sh: the kernel's neighbour table holds" \
        "$limit entries for the whole machine (gc_thresh3): the station may not resolve all" \
        "$elements elements." >&2
fi
echo "Demo network: station $station_ip (namespace $st); $summary."

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
# The station's interface follows the network of this run.
if grep -q '^NMS%20IP%20Address=' "$demo_settings" 2>/dev/null; then
    sed -i "s/^NMS%20IP%20Address=.*/NMS%20IP%20Address=$station_ip/" "$demo_settings"
elif grep -q '^\[Kestrune\]' "$demo_settings" 2>/dev/null; then
    sed -i "/^\[Kestrune\]/a NMS%20IP%20Address=$station_ip" "$demo_settings"
else
    printf '[Kestrune]\nNMS%%20IP%%20Address=%s\n' "$station_ip" >>"$demo_settings"
fi
station_env=(KESTRUNE_PROGRAM_DIR="$work" XDG_CONFIG_HOME="$work/config"
    KESTRUNE_LOCK_PATH="$work/kestrune-nms.lock")
echo "Demo station's element database: $work/nms.ini"
echo "Demo station's settings:         $demo_settings (yours are not touched)"
for v in DISPLAY XAUTHORITY XDG_RUNTIME_DIR WAYLAND_DISPLAY QT_QPA_PLATFORM LANG; do
    [ -n "${!v:-}" ] && station_env+=("$v=${!v}")
done
[ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] ||
    echo "demo.sh: neither DISPLAY nor WAYLAND_DISPLAY is set; the window may not open." >&2
echo "In the station check that the NMS interface is $station_ip, then Auto Discovery."

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
