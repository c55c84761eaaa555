#!/bin/sh
# Installs the built tree into a scratch prefix, then builds and runs a tiny
# outside program against it, once through find_package and once through
# pkg-config.
# Usage: install_test.sh BUILD_DIR SOURCE_DIR
build="$1"
source="$2"
. "$(dirname "$0")/test_helpers.sh"
check "cmake --install" -- cmake --install "$build" --prefix "$work/prefix"
check "the header and the tool are installed" -- test -f "$work/prefix/include/ovel.h" -a \
  -x "$work/prefix/bin/addrbook"
libdir=$(ls -d "$work"/prefix/lib*/ | head -n 1)
mkdir "$work/book1" "$work/book2"

check "a consumer through find_package" -- sh -c "cmake -S \"$source/tests/consumer\" -B \"$work/by-cmake\" \
  -DCMAKE_PREFIX_PATH=\"$work/prefix\" && cmake --build \"$work/by-cmake\" &&
  LD_LIBRARY_PATH=\"$libdir\" \"$work/by-cmake/consumer\" \"$work/book1\""
check "a consumer through pkg-config" -- sh -c "cc \"$source/tests/consumer/main.c\" -o \"$work/by-pkg-config\" \
  \$(PKG_CONFIG_PATH=\"$libdir/pkgconfig\" pkg-config --cflags --libs ovel) &&
  LD_LIBRARY_PATH=\"$libdir\" \"$work/by-pkg-config\" \"$work/book2\""
# The manual page (where help2man is) and the bash completion.
check "the manual page" -- sh -c "! command -v help2man || test -f \"$work/prefix/share/man/man1/addrbook.1.gz\""
check "the bash completion" -- test -f "$work/prefix/share/bash-completion/completions/addrbook"
check "the zsh completion" -- test -f "$work/prefix/share/zsh/site-functions/_addrbook"
# The installed tool finds the installed library by itself.
check "the installed tool runs" -- env -u LD_LIBRARY_PATH "$work/prefix/bin/addrbook" -d "$work/book2" list
finish
