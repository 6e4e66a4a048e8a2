# SPDX-License-Identifier: MIT
# Shared by scripts/run, scripts/test and scripts/bench: installs the Debian packages the
# project needs (only those missing) and configures and builds a tree incrementally.
# Source it; it defines velquor_setup BUILD_DIR [cmake options...].

velquor_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

velquor_packages=(cmake ninja-build g++ qt6-base-dev qt6-base-private-dev qt6-serialport-dev
                  fonts-liberation fonts-droid-fallback desktop-file-utils appstream man-db ser2net
                  pkgconf)
# The web page: its server and QR code, and the browser its tests and benchmark drive.
velquor_packages+=(qt6-httpserver-dev qt6-websockets-dev libqrencode-dev
                   chromium chromium-driver python3-selenium)
# MQTT: the client library, and the broker and certificates its tests and benchmark use.
velquor_packages+=(libmosquitto-dev mosquitto mosquitto-clients openssl)
# Test only: the window read through the desktop's accessibility bus, as a screen reader reads
# it (tests/atspi): a private X server, a private D-Bus session, the bus and pyatspi.
velquor_packages+=(xvfb dbus-bin at-spi2-core python3-pyatspi)

velquor_install_packages() {
    local missing=() package
    for package in "${velquor_packages[@]}" "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
            missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing Debian packages: ${missing[*]}"
    local sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    "${sudo[@]}" apt-get update -qq &&
        DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends \
            "${missing[@]}" >/dev/null
}

velquor_setup() {
    local build=$1; shift
    velquor_install_packages || { echo "Could not install the packages." >&2; return 1; }
    if [ ! -f "$build/build.ninja" ]; then
        cmake -S "$velquor_root" -B "$build" -G Ninja "$@" >/dev/null || return 1
    fi
    cmake --build "$build" --parallel "$(nproc)"
}
