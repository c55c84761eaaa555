#!/bin/sh
# Installs the built tree into a scratch prefix, then builds and runs a tiny
# outside program against it, once through find_package and once through
# pkg-config.
# Usage: install_test.sh BUILD_DIR SOURCE_DIR
set -e
build="$1"
source="$2"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cmake --install "$build" --prefix "$work/prefix" > /dev/null
test -f "$work/prefix/include/ovel.h"
test -x "$work/prefix/bin/addrbook"
libdir=$(ls -d "$work"/prefix/lib*/ | head -n 1)
mkdir "$work/book1" "$work/book2"

cmake -S "$source/tests/consumer" -B "$work/by-cmake" -DCMAKE_PREFIX_PATH="$work/prefix" > /dev/null
cmake --build "$work/by-cmake" > /dev/null
LD_LIBRARY_PATH="$libdir" "$work/by-cmake/consumer" "$work/book1"

export PKG_CONFIG_PATH="$libdir/pkgconfig"
cc "$source/tests/consumer/main.c" -o "$work/by-pkg-config" $(pkg-config --cflags --libs ovel)
LD_LIBRARY_PATH="$libdir" "$work/by-pkg-config" "$work/book2"
# The manual page (where help2man is) and the bash completion.
! command -v help2man > /dev/null || test -f "$work/prefix/share/man/man1/addrbook.1.gz"
test -f "$work/prefix/share/bash-completion/completions/addrbook"
# The installed tool finds the installed library by itself.
env -u LD_LIBRARY_PATH "$work/prefix/bin/addrbook" -d "$work/book2" list > /dev/null
echo "3 passed, 0 failed"
