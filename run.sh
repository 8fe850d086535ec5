#!/usr/bin/env bash
# Builds and starts the station. With --demo, emulated elements on a private test
# network are started too (needs root or sudo).
set -euo pipefail
source "$(dirname "$0")/scripts/setup.sh"
kn_install_missing
kn_build
if [ "${1:-}" = "--demo" ]; then
    shift
    exec "$KN_ROOT/scripts/demo.sh" "$@"
fi
exec "$KN_BUILD/app/kestrune-nms" "$@"
