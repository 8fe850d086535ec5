#!/bin/sh
# Runs a test that binds the station's fixed ports in a network namespace of its own when it may
# (as root), so that a station running on this machine, or another checkout's tests, cannot
# disturb it. Its loopback is up; nothing else is there.
if [ "$(id -u)" = 0 ] && unshare -n true 2>/dev/null; then
    exec unshare -n sh -c 'ip link set lo up && exec "$@"' own-network "$@"
fi
exec "$@"
