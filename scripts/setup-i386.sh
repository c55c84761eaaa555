#!/bin/sh
# Lets this machine run i386 programs (and so 32-bit Wine) when its kernel
# cannot: installs qemu-user 10 and registers qemu-i386 with binfmt_misc.
# Debian 12's own qemu 7.2 is far too slow under Wine and breaks threads,
# so on bookworm the emulator comes from bookworm-backports, an apt source
# built from the mirror this machine already uses.  Does nothing where i386
# code already runs; leaves the i686 tests skipped where it cannot help.
set -e
sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo

# 32-bit Wine's loader is an i386 program.
runs_i386() { /usr/lib/wine/wine --version >/dev/null 2>&1; }

if runs_i386; then exit 0; fi

binfmt=/proc/sys/fs/binfmt_misc
if [ ! -e "$binfmt/register" ]; then
  grep -qw binfmt_misc /proc/filesystems || { echo "setup-i386: no binfmt_misc; i686 tests stay skipped" >&2; exit 0; }
  $sudo mount -t binfmt_misc binfmt_misc "$binfmt" || { echo "setup-i386: cannot mount binfmt_misc" >&2; exit 0; }
fi

qemu_major() { "$1" --version 2>/dev/null | sed -n 's/.*version \([0-9]*\)\..*/\1/p'; }
qemu=/usr/bin/qemu-i386-static
if [ "$(qemu_major "$qemu" || echo 0)" -lt 10 ] 2>/dev/null || [ ! -x "$qemu" ]; then
  . /etc/os-release
  if [ "${VERSION_CODENAME:-}" = bookworm ]; then
    sources=/etc/apt/sources.list.d/ovel-backports.sources
    if [ ! -e "$sources" ]; then
      mirror=$(awk '/^URIs:/ {print $2; exit}' /etc/apt/sources.list.d/debian.sources 2>/dev/null)
      [ -n "$mirror" ] || mirror=$(awk '$1 == "deb" && $3 == "bookworm" {print $2; exit}' /etc/apt/sources.list 2>/dev/null)
      [ -n "$mirror" ] || { echo "setup-i386: no Debian mirror found in the apt sources" >&2; exit 0; }
      printf 'Types: deb\nURIs: %s\nSuites: bookworm-backports\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
        "$mirror" | $sudo tee "$sources" >/dev/null
    fi
    $sudo apt-get update -q
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends \
      -t bookworm-backports qemu-user-static
  else
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends qemu-user-static
  fi
fi
[ "$(qemu_major "$qemu" || echo 0)" -ge 10 ] || { echo "setup-i386: no qemu-user 10; i686 tests stay skipped" >&2; exit 0; }

# Replace any older registration (it may point at an older qemu).
for name in qemu-i386 i386; do
  [ -e "$binfmt/$name" ] && echo -1 | $sudo tee "$binfmt/$name" >/dev/null
done
magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
echo ":qemu-i386:M::$magic:$mask:$qemu:PF" | $sudo tee "$binfmt/register" >/dev/null
runs_i386 || echo "setup-i386: qemu-i386 is registered but i386 programs still do not run" >&2
