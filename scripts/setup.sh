# Shared by run.sh and test.sh: install what is missing, configure and build.
# Sourced, not run: sets KN_ROOT and KN_BUILD.
KN_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
KN_BUILD=${KN_BUILD:-$KN_ROOT/build}

kn_sudo() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# kn_install_missing [more packages]: the build's packages and those a caller adds.
kn_install_missing() {
    local wanted=(qt6-base-dev cmake ninja-build g++ iproute2 xvfb xauth dbus "$@")
    local missing=()
    for p in "${wanted[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    if [ ${#missing[@]} -gt 0 ]; then
        echo "Installing: ${missing[*]}"
        kn_sudo apt-get update -qq
        kn_sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
    fi
}

kn_build() {
    # A compiler cache, where there is one, makes a second build folder cheap.
    if [ -z "${CMAKE_CXX_COMPILER_LAUNCHER:-}" ] && command -v ccache >/dev/null; then
        export CMAKE_CXX_COMPILER_LAUNCHER=ccache
    fi
    if [ ! -f "$KN_BUILD/build.ninja" ]; then
        cmake -S "$KN_ROOT" -B "$KN_BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    fi
    cmake --build "$KN_BUILD" -- -j"$(nproc)"
}
