#!/bin/sh
# SPDX-License-Identifier: MIT
# Checks an installed copy of the panel: the programs, the desktop entry, the AppStream
# metainfo, the icons, the man pages and the example unit are where a desktop and man(1) look
# for them, with the right modes and contents, and nothing else was installed.
#
#   check-install.sh [options] ROOT
#       ROOT is a staging root: a DESTDIR, or a .deb unpacked with dpkg -x.
#   check-install.sh [options] --cmake-install BUILD_DIR ROOT
#       first installs BUILD_DIR into ROOT (emptied first) with DESTDIR=ROOT.
#
# Options:
#   --prefix DIR   the install prefix inside ROOT (default /usr)
#   --emulator     velquor-emulator and its man page belong to the installation
#   --gzip-man     the man pages are installed gzip-compressed (NAME.1.gz)
#   --version V    the programs must report version V
set -eu

prefix=/usr
emulator=false
man_suffix=
version=
build=
while [ $# -gt 1 ]; do
    case $1 in
    --prefix) prefix=$2; shift 2 ;;
    --emulator) emulator=true; shift ;;
    --gzip-man) man_suffix=.gz; shift ;;
    --version) version=$2; shift 2 ;;
    --cmake-install) build=$2; shift 2 ;;
    *) break ;;
    esac
done
[ $# -eq 1 ] || { echo "usage: check-install.sh [options] [--cmake-install BUILD_DIR] ROOT" >&2; exit 2; }
root=$1
cmake=${CMAKE_COMMAND:-cmake}

if [ -n "$build" ]; then
    rm -rf "$root"
    mkdir -p "$root"
    DESTDIR=$root "$cmake" --install "$build" --prefix "$prefix" >/dev/null
fi
[ -d "$root" ] || { echo "FAIL: no directory $root" >&2; exit 1; }
root=$(cd "$root" && pwd)
p=$root$prefix

failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

app_id=org.velquor.panel
bins="velquor velquor-ctl"
pages="velquor.1$man_suffix velquor-ctl.1$man_suffix"
if $emulator; then
    bins="$bins velquor-emulator"
    pages="$pages velquor-emulator.1$man_suffix"
fi

expected=$(mktemp)
found=$(mktemp)
trap 'rm -f "$expected" "$found"' EXIT
{
    for b in $bins; do echo "$p/bin/$b"; done
    echo "$p/share/applications/$app_id.desktop"
    echo "$p/share/metainfo/$app_id.metainfo.xml"
    echo "$p/share/icons/hicolor/32x32/apps/velquor.png"
    echo "$p/share/icons/hicolor/128x128/apps/velquor.png"
    for m in $pages; do echo "$p/share/man/man1/$m"; done
    echo "$p/share/doc/velquor/copyright"
    echo "$p/share/doc/velquor/changelog$man_suffix"
    echo "$p/share/doc/velquor/examples/velquor-headless.service"
    # The system service per matrix, and the example settings of one (in /etc whatever the
    # prefix, where the unit reads them).
    echo "$p/lib/systemd/system/velquor@.service"
    echo "$root/etc/velquor/hall.conf"
} | sort >"$expected"
find "$root" ! -type d | sort >"$found"

# Exactly the expected files: a missing one would leave the menu, the icon or man(1) without
# it; an extra one (a test program, a build file) does not belong in the installation.
missing=$(comm -23 "$expected" "$found")
extra=$(comm -13 "$expected" "$found")
[ -z "$missing" ] || fail "missing from the installation:
$missing"
[ -z "$extra" ] || fail "installed but not expected:
$extra"

# Programs are executable and run; everything else is a plain readable file, not executable.
for b in $bins; do
    f=$p/bin/$b
    [ -f "$f" ] || continue
    [ -x "$f" ] || fail "$f is not executable"
    if [ -n "$version" ]; then
        out=$("$f" --version 2>&1) || fail "$f --version failed: $out"
        [ "$out" = "$b $version" ] || fail "$f --version says \"$out\", expected \"$b $version\""
    fi
done
while IFS= read -r f; do
    case $f in "$p"/bin/*) continue ;; esac
    [ -f "$f" ] || continue
    [ ! -x "$f" ] || fail "$f is executable"
    [ -r "$f" ] && [ -s "$f" ] || fail "$f is empty or unreadable"
done <"$expected"

# The desktop entry starts an installed program and names an installed icon.
desktop=$p/share/applications/$app_id.desktop
if [ -f "$desktop" ]; then
    exec_name=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
    icon_name=$(sed -n 's/^Icon=//p' "$desktop")
    [ -n "$exec_name" ] && [ -x "$p/bin/$exec_name" ] ||
        fail "the desktop entry starts \"$exec_name\", which is not in $p/bin"
    [ -f "$p/share/icons/hicolor/32x32/apps/$icon_name.png" ] ||
        fail "the desktop entry names icon \"$icon_name\", which is not installed"
fi

# The metainfo launches the installed desktop entry.
metainfo=$p/share/metainfo/$app_id.metainfo.xml
if [ -f "$metainfo" ]; then
    launchable=$(sed -n 's:.*<launchable type="desktop-id">\(.*\)</launchable>.*:\1:p' "$metainfo")
    [ "$launchable" = "$app_id.desktop" ] ||
        fail "the metainfo launches \"$launchable\", expected $app_id.desktop"
fi

# Each icon is a PNG of the size its folder names (width and height from the IHDR chunk).
for size in 32 128; do
    f=$p/share/icons/hicolor/${size}x$size/apps/velquor.png
    [ -f "$f" ] || continue
    signature=$(od -An -tx1 -N8 "$f" | tr -d ' \n')
    [ "$signature" = 89504e470d0a1a0a ] || fail "$f is not a PNG"
    width=$(od -An -tu1 -j16 -N4 "$f" | awk '{print $1*16777216 + $2*65536 + $3*256 + $4}')
    height=$(od -An -tu1 -j20 -N4 "$f" | awk '{print $1*16777216 + $2*65536 + $3*256 + $4}')
    [ "$width" = "$size" ] && [ "$height" = "$size" ] ||
        fail "$f is ${width}x$height, expected ${size}x$size"
done

# Each man page is a man(7) page of its program (compressed ones decompress).
for m in $pages; do
    f=$p/share/man/man1/$m
    [ -f "$f" ] || continue
    name=${m%%.1*}
    if [ -n "$man_suffix" ]; then
        text=$(gzip -dc "$f") || { fail "$f is not a valid gzip file"; continue; }
    else
        text=$(cat "$f")
    fi
    title=$(printf '%s\n' "$text" | sed -n 's/^\.TH \([^ ]*\) 1 .*/\1/p' | sed 's/\\-/-/g')
    upper=$(printf '%s' "$name" | tr '[:lower:]' '[:upper:]')
    [ "$title" = "$upper" ] || fail "$f has the title \"$title\", expected \"$upper\""
done

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed in $root" >&2
    exit 1
fi
echo "installation in $root$prefix is complete: $(wc -l <"$expected") files"
