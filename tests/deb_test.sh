#!/bin/sh
# Makes the Debian packages of a release build with cpack, checks them
# with lintian (no errors), checks that each -dbgsym package holds the
# debug information of the stripped files it is for (by build id),
# installs them with dpkg into a scratch root,
# builds a consumer against them through pkg-config and find_package, runs
# it, addrbook --version and the club example, and purges them again.
# Usage: deb_test.sh BUILD_DIR SOURCE_DIR
build="$1"
source="$2"
. "$(dirname "$0")/test_helpers.sh"
command -v dpkg > /dev/null && command -v dpkg-shlibdeps > /dev/null ||
  { echo "dpkg and dpkg-dev are needed"; exit 77; }

check "cpack makes the packages" -- cpack -B "$work/packages" --config "$build/CPackConfig.cmake"
version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")/\1/p' "$build/CPackConfig.cmake")
debs="$work/packages/libovel1_${version}-1_$(dpkg --print-architecture).deb
$work/packages/libovel-dev_${version}-1_$(dpkg --print-architecture).deb
$work/packages/addrbook_${version}-1_$(dpkg --print-architecture).deb"
arch=$(dpkg --print-architecture)
ddebs="$work/packages/libovel1-dbgsym_${version}-1_$arch.ddeb
$work/packages/addrbook-dbgsym_${version}-1_$arch.ddeb"
for deb in $debs $ddebs; do
  check "$(basename "$deb") is made" -- test -s "$deb"
done
# debug_file_matches PACKAGE FILE: FILE ships stripped in PACKAGE, and
# PACKAGE-dbgsym holds its debug information under its build id.
debug_file_matches() {
  rm -rf "$work/x" && dpkg-deb -x "$work/packages/$1_${version}-1_$arch.deb" "$work/x" &&
    dpkg-deb -x "$work/packages/$1-dbgsym_${version}-1_$arch.ddeb" "$work/x" || return 1
  ! readelf -S "$work/x/$2" | grep -q '\.debug_info' || { echo "$2 is not stripped"; return 1; }
  id=$(readelf -n "$work/x/$2" | sed -n 's/.*Build ID: //p')
  debug="$work/x/usr/lib/debug/.build-id/$(echo "$id" | cut -c1-2)/$(echo "$id" | cut -c3-).debug"
  test -n "$id" && readelf -S "$debug" | grep -q '\.debug_info' &&
    test "$(readelf -n "$debug" | sed -n 's/.*Build ID: //p')" = "$id"
}
check "libovel1-dbgsym holds libovel.so.1's debug information" -- \
  debug_file_matches libovel1 usr/lib/libovel.so.$version
check "addrbook-dbgsym holds addrbook's debug information" -- debug_file_matches addrbook usr/bin/addrbook
# The tool depends on the library of its own version and on what
# dpkg-shlibdeps found it needs; the host can satisfy every dependency.
check "addrbook's dependencies" -- sh -c "dpkg-deb -f \"\$0\" Depends | grep -q 'libovel1 (= ${version}-1), libc6'" \
  "$work/packages/addrbook_${version}-1_$(dpkg --print-architecture).deb"
check "the dependencies resolve" -- apt-get install --simulate -q $debs
if command -v lintian > /dev/null; then
  lintian --tag-display-limit 0 $debs > "$work/lintian" 2>&1
  if grep -q '^E:' "$work/lintian"; then fail "lintian:" "$work/lintian"
  else pass; grep '^W:' "$work/lintian"; fi
fi

# A scratch root with its own dpkg database.  Maintainer scripts run
# outside it, with an ldconfig that does nothing, so that the host's cache
# is not touched; the host's libraries stand in for the dependencies.
root="$work/root"
admin="$root/var/lib/dpkg"
mkdir -p "$admin/info" "$admin/updates" "$admin/triggers" "$work/bin"
touch "$admin/status" "$admin/available"
printf '#!/bin/sh\nexit 0\n' > "$work/bin/ldconfig" && chmod +x "$work/bin/ldconfig"
dpkg_root() {
  PATH="$work/bin:$PATH" dpkg --instdir="$root" --admindir="$admin" --force-not-root \
    --force-script-chrootless --force-depends --log=/dev/null "$@"
}
check "dpkg installs the packages" -- dpkg_root -i $debs $ddebs
libdir="$root/usr/lib"
check "the header, library, tool and manual page are in place" -- test -f "$root/usr/include/ovel.h" \
  -a -f "$libdir/libovel.so.1" -a -x "$root/usr/bin/addrbook" -a -f "$root/usr/share/man/man1/addrbook.1.gz"
export LD_LIBRARY_PATH="$libdir"
check "addrbook --version" -- sh -c "\"$root/usr/bin/addrbook\" --version | grep -qx '$version'"
mkdir "$work/club" && cp "$source/examples/club/ADDRBOOK.DAT" "$work/club/"
check "the club example" -- sh -c "\"$root/usr/bin/addrbook\" -d \"$work/club\" expand Everyone --recursive --format csv | grep -q 'Ken Thompson,ken@unix.example'"
mkdir "$work/book1" "$work/book2"
check "a consumer through find_package" -- sh -c "cmake -S \"$source/tests/consumer\" -B \"$work/by-cmake\" -DCMAKE_PREFIX_PATH=\"$root/usr\" &&
  cmake --build \"$work/by-cmake\" && \"$work/by-cmake/consumer\" \"$work/book1\""
check "a consumer through pkg-config" -- sh -c "cc \"$source/tests/consumer/main.c\" -o \"$work/by-pkg-config\" \
  \$(PKG_CONFIG_PATH=\"$libdir/pkgconfig\" pkg-config --cflags --libs ovel) && \"$work/by-pkg-config\" \"$work/book2\""
check "dpkg purges the packages" -- dpkg_root --purge addrbook-dbgsym libovel1-dbgsym addrbook libovel-dev libovel1
check "nothing is left but dpkg's own files" -- sh -c "test -z \"\$(find \"$root\" -mindepth 1 -not -path \"$root/var*\" -not -type d)\""

finish
