# SPDX-License-Identifier: MIT
# Shared by the scripts: installs the Debian packages a command needs (only those missing), and
# configures and builds a tree from one of the presets of CMakePresets.json. Source it; it
# defines velquor_install_packages PACKAGE... and velquor_setup PRESET [TARGET...].
#
# Each build tree belongs to one preset (build/ to "default", build-release/ to "release",
# build-asan/ to "sanitize", build-fuzz/ to "fuzz"), and velquor_setup configures it from that
# preset every time: whichever script ran first, the options are the preset's.

velquor_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# What building and running the panel need: the compiler and build tools, Qt and the libraries
# of the remote surfaces, and the window's fonts. (Configuring the tree takes Qt's private GUI
# headers too: the accessibility test is part of the default tree.)
velquor_run_packages=(cmake ninja-build g++ pkgconf
                      qt6-base-dev qt6-base-private-dev qt6-serialport-dev
                      qt6-httpserver-dev qt6-websockets-dev libqrencode-dev libmosquitto-dev
                      libsystemd-dev
                      fonts-liberation fonts-droid-fallback)
# What the tests and benchmarks add: the real peers they start on loopback (ser2net, the MQTT
# broker and its clients, openssl for its certificates, headless chromium driven by selenium)
# and the checkers of the desktop entry, the AppStream file, the man pages and the service's
# unit (systemd-analyze).
velquor_test_packages=(ser2net mosquitto mosquitto-clients openssl
                       chromium chromium-driver python3-selenium
                       desktop-file-utils appstream man-db systemd)
# Test only: the window read through the desktop's accessibility bus, as a screen reader reads
# it (tests/atspi): a private X server, a private D-Bus session, the bus and pyatspi.
velquor_test_packages+=(xvfb dbus-bin at-spi2-core python3-pyatspi)

velquor_install_packages() {
    local missing=() package
    for package in "$@"; do
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

# The build tree of a preset.
velquor_build_dir() {
    case $1 in
    default) echo "$velquor_root/build" ;;
    *) echo "$velquor_root/build-$([ "$1" = sanitize ] && echo asan || echo "$1")" ;;
    esac
}

# Configures the preset's tree (again, so that its options are the preset's whatever configured
# it before) and builds the targets given, or everything. The packages are the caller's to
# install first.
velquor_setup() {
    local preset=$1; shift
    local targets=()
    [ $# -eq 0 ] || targets=(--target "$@")
    cmake --preset "$preset" -S "$velquor_root" >/dev/null || return 1
    cmake --build --preset "$preset" --parallel "${VELQUOR_JOBS:-$(nproc)}" "${targets[@]}"
}
