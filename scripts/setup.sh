#!/bin/sh
# Installs what building and testing ovel need, where it is missing
# (Debian 12; run as root or with sudo available).
set -e
sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
packages="cmake g++ make ninja-build libgtest-dev googletest clang clang-format libclang-rt-14-dev valgrind
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine64 wine32:i386 python3
  libcli11-dev nlohmann-json3-dev libbenchmark-dev libsqlite3-dev pkg-config lld llvm locales python3-vobject python3-ldap help2man
  lintian dpkg-dev fakeroot unzip abook mutt"
missing=""
for package in $packages; do
  dpkg -s "$package" >/dev/null 2>&1 || missing="$missing $package"
done
if [ -n "$missing" ]; then
  case "$missing" in
    *:i386*) dpkg --print-foreign-architectures | grep -qx i386 || $sudo dpkg --add-architecture i386 ;;
  esac
  $sudo apt-get update -q
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends $missing
fi
# A Japanese locale, so that Wine runs a test in a double-byte code page.
locale -a 2>/dev/null | grep -qix 'ja_JP.utf-\{0,1\}8' || $sudo localedef -i ja_JP -f UTF-8 ja_JP.UTF-8
# A Latin-1 locale, so that the tool's output in it is tested.
locale -a 2>/dev/null | grep -qix 'de_DE.iso88591' || $sudo localedef -i de_DE -f ISO-8859-1 de_DE.ISO-8859-1
"$(dirname "$0")/setup-i386.sh"
