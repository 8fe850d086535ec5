#!/usr/bin/env bash
# Builds the station and runs every test through CTest.
set -euo pipefail
source "$(dirname "$0")/scripts/setup.sh"
kn_install_missing desktop-file-utils appstream # the install test's validators
kn_build
cd "$KN_BUILD"
export QT_QPA_PLATFORM=offscreen
ctest --output-on-failure --timeout 600 "$@"
