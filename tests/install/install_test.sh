#!/bin/sh
# An installation into a temporary prefix and the Debian package, checked as
# their users meet them: the files where a Linux system expects them, a C
# program built against the installed VmKalLib through pkg-config and through
# its CMake package, the Python module, the installed Kalmira's settings and
# manual, and the .deb's control data and contents.
#
#   install_test.sh BUILD_DIR DATA_FROM_BIN
set -eu
build=$1
data_from_bin=$2
here=$(cd "$(dirname "$0")" && pwd)
tmp=$(mktemp -d /tmp/kalmira-install-XXXXXX)
trap 'rm -rf "$tmp"' EXIT
prefix=$tmp/prefix
unset VMKAL_LIBRARY KALMIRA_BUILD_DIR PKG_CONFIG_PATH
fail() { echo "install test: $*" >&2; exit 1; }
has() { grep -q -- "$2" "$1" || fail "$1 does not hold '$2'"; }

cmake --install "$build" --prefix "$prefix" >/dev/null

# --- the files, where a Linux system expects them
pc=$(find "$prefix" -name VmKalLib.pc)
[ -n "$pc" ] || fail "no pkg-config file"
export PKG_CONFIG_PATH=$(dirname "$pc")
libdir=$(pkg-config --variable=libdir VmKalLib)
for f in bin/Kalmira bin/kalmira-convert bin/kalmira-sim include/VmKalLib.h \
         share/applications/kalmira.desktop share/icons/hicolor/scalable/apps/kalmira.svg \
         share/man/man1/kalmira-convert.1.gz share/man/man1/kalmira-sim.1.gz share/doc/kalmira/copyright; do
    [ -e "$prefix/$f" ] || fail "missing $f"
done
[ -f "$prefix/bin/$data_from_bin/manual.html" ] || fail "the manual is not where Kalmira looks for it"
# Every image the manual shows is installed beside it.
for img in $(grep -o 'src="images/[^"]*"' "$prefix/bin/$data_from_bin/manual.html" | sed 's/^src="//; s/"$//'); do
    [ -f "$prefix/bin/$data_from_bin/$img" ] || fail "the manual's $img is not installed"
done
grep -q 'src="images/' "$prefix/bin/$data_from_bin/manual.html" || fail "the manual shows no images"
[ -f "$libdir/libVmKalLib.so.4" ] && [ -f "$libdir/libVmKalLib.so" ] || fail "library links missing in $libdir"
readelf -d "$libdir/libVmKalLib.so" | grep -q 'SONAME.*\[libVmKalLib\.so\.4\]' || fail "soname is not libVmKalLib.so.4"
[ "$(pkg-config --modversion VmKalLib)" = "4.37" ] || fail "pkg-config version"
has "$prefix/share/applications/kalmira.desktop" '^Exec=Kalmira$'
has "$prefix/share/applications/kalmira.desktop" '^Icon=kalmira$'
if command -v desktop-file-validate >/dev/null 2>&1; then
    desktop-file-validate "$prefix/share/applications/kalmira.desktop" || fail "desktop entry not valid"
fi
gzip -dc "$prefix/share/man/man1/kalmira-convert.1.gz" | grep -q '^\.TH KALMIRA-CONVERT 1' || fail "man page kalmira-convert"
gzip -dc "$prefix/share/man/man1/kalmira-sim.1.gz" | grep -q '^\.TH KALMIRA-SIM 1' || fail "man page kalmira-sim"

# --- a C program through pkg-config converts a file
/usr/bin/python3 -c "
import numpy as np
(np.arange(1000) * (1 - 0.5j)).astype('<c8').tofile('$tmp/in.kal')"
cc -std=c99 -Wall -Wextra -Werror "$here/convert.c" $(pkg-config --cflags --libs VmKalLib) \
    -Wl,-rpath,"$libdir" -o "$tmp/convert" || fail "the C program does not build with pkg-config"
ldd "$tmp/convert" | grep -q "$prefix" || fail "the C program does not use the installed library"
out=$("$tmp/convert" "$tmp/in.kal" "$tmp/out.sigmf-meta") || fail "the C program failed"
[ "$out" = "kal 1000" ] || fail "the C program said '$out'"
info=$("$prefix/bin/kalmira-convert" --info "$tmp/out.sigmf-data")
echo "$info" | grep -q '^format   sigmf, from its content$' || fail "kalmira-convert --info: $info"
echo "$info" | grep -q '^samples  1000$' || fail "kalmira-convert --info: $info"
has "$tmp/out.sigmf-meta" '"core:frequency": 433920000.0'

# --- the same program through the CMake package
mkdir "$tmp/cmake"
cat > "$tmp/cmake/CMakeLists.txt" <<CML
cmake_minimum_required(VERSION 3.25)
project(uses_vmkal C)
find_package(VmKalLib 4 REQUIRED)
add_executable(convert $here/convert.c)
target_link_libraries(convert PRIVATE VmKal::VmKalLib)
CML
cmake -S "$tmp/cmake" -B "$tmp/cmake/build" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" >/dev/null ||
    fail "find_package(VmKalLib) failed"
cmake --build "$tmp/cmake/build" >/dev/null || fail "the CMake package does not build"
out=$("$tmp/cmake/build/convert" "$tmp/in.kal" "$tmp/again.sigmf-meta") || fail "the CMake-built program failed"
[ "$out" = "kal 1000" ] || fail "the CMake-built program said '$out'"

# --- the Python module of the installation uses the installed library
py=$(find "$prefix" -type d -name vmkal)
PYTHONPATH=$(dirname "$py") /usr/bin/python3 -c "
import vmkal, sys
lib = vmkal._library_path()
assert lib.startswith('$prefix'), lib
data, rate = vmkal.load('$tmp/out.sigmf-meta')
assert len(data) == 1000 and rate == 1e6, (len(data), rate)
" || fail "the installed Python module"

# --- the installed Kalmira keeps its settings in the user's folder, not
#     beside itself (the test runs as root, who could write there)
mkdir "$tmp/run"
XDG_CONFIG_HOME=$tmp/config TMPDIR=$tmp/run QT_QPA_PLATFORM=offscreen KALMIRA_TEST_ACTIONS=menu=Quit \
    timeout 60 "$prefix/bin/Kalmira" 2>"$tmp/kalmira.err" || fail "the installed Kalmira: $(cat "$tmp/kalmira.err")"
[ -n "$(find "$tmp/config" -name Kalmira.cfg)" ] || fail "no settings in the user's configuration folder"
[ ! -e "$prefix/bin/Kalmira.cfg" ] || fail "the installed Kalmira wrote its settings beside itself"

# --- the Debian package
(cd "$build" && cpack -G DEB -B "$tmp/pkg" >/dev/null) || fail "cpack -G DEB failed"
deb=$(ls "$tmp"/pkg/kalmira_*.deb)
dpkg-deb -I "$deb" >"$tmp/control"
has "$tmp/control" '^ Package: kalmira$'
has "$tmp/control" '^ Version: 4.37$'
# The dependencies as the programs need them, with versions.
has "$tmp/control" '^ Depends: .*libmatio11 (>= '
has "$tmp/control" '^ Depends: .*libqt6widgets6 (>= '
dpkg-deb -c "$deb" >"$tmp/contents"
for f in ./usr/bin/Kalmira ./usr/bin/kalmira-convert ./usr/bin/kalmira-sim ./usr/include/VmKalLib.h \
         ./usr/lib/libVmKalLib.so.4.37 ./usr/lib/pkgconfig/VmKalLib.pc ./usr/lib/cmake/VmKalLib/VmKalLibConfig.cmake \
         ./usr/share/kalmira/manual.html ./usr/share/kalmira/images/spectrum-first.png \
         ./usr/share/applications/kalmira.desktop \
         ./usr/share/man/man1/kalmira-convert.1.gz ./usr/share/doc/kalmira/copyright \
         ./usr/share/doc/kalmira/changelog.gz \
         ./usr/lib/python3/dist-packages/vmkal/__init__.py; do
    grep -q " $f\( ->.*\)\?$" "$tmp/contents" || fail "the package lacks $f"
done
dpkg-deb -x "$deb" "$tmp/deb"
"$tmp/deb/usr/bin/kalmira-convert" --list | grep -q '^24 *sigmf' || fail "the packaged converter does not run"
if command -v lintian >/dev/null 2>&1; then
    # Errors only; the maintainer's address is the builder's to give
    # (KALMIRA_DEB_MAINTAINER), so a local one is not one of them.
    lintian --no-tag-display-limit --fail-on error --suppress-tags bogus-mail-host,bogus-mail-host-in-debian-changelog "$deb" >"$tmp/lintian" 2>&1 ||
        fail "lintian: $(grep '^E:' "$tmp/lintian")"
fi
echo "install test: all checks passed"
