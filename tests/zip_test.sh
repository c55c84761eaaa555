#!/bin/sh
# Makes the Windows bundles of a windows or windows64 build with cpack
# (ovel-VERSION-win32.zip or -win64.zip, and its -debug.zip), unpacks them
# into an empty folder and uses them as a Windows developer would, with
# nothing else of the project: callers built with MinGW and with clang for
# Microsoft's ABI and lld-link, by hand (pkg-config flags; ovel.lib) and
# through find_package(ovel CONFIG), each run under Wine; an import library
# made again from lib/ovel.def; the version resources read back with
# GetFileVersionInfoA; the debug files checked against the binaries.
# Usage: zip_test.sh BUILD_DIR SOURCE_DIR CC TOOLCHAIN_FILE OBJCOPY CLANG LLD_LINK LLVM_DLLTOOL
build="$1"; source="$2"; cc="$3"; toolchain="$4"; objcopy="$5"
clang="$6"; lld_link="$7"; dlltool="$8"
. "$(dirname "$0")/test_helpers.sh"
wine() { "$source/scripts/wine-run" "$@"; }
[ -n "$clang" ] && [ -n "$lld_link" ] && [ -n "$dlltool" ] || { echo "clang, lld-link and llvm-dlltool are needed"; exit 77; }

check "cpack makes the bundles" -- cpack -B "$work/packages" --config "$build/CPackConfig.cmake"
version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")/\1/p' "$build/CPackConfig.cmake")
zip=$(ls "$work"/packages/ovel-"$version"-win32.zip "$work"/packages/ovel-"$version"-win64.zip 2>/dev/null)
case "$zip" in
  *win32.zip) triple=i686-pc-windows-msvc machine=i386 kill=--kill-at exit=ExitProcess@4 ;;
  *) triple=x86_64-pc-windows-msvc machine=i386:x86-64 kill= exit=ExitProcess ;;
esac
check "they are ovel-$version-win32/64.zip and its -debug.zip" -- test -s "$zip" -a -s "${zip%.zip}-debug.zip"
b="$work/ovel"
mkdir "$b" && (cd "$b" && unzip -q "$zip" && unzip -q "${zip%.zip}-debug.zip")
for file in bin/ovel.dll bin/addrbook.exe lib/libovel.dll.a lib/ovel.lib lib/ovel.def include/ovel.h \
  lib/cmake/ovel/ovelConfig.cmake lib/pkgconfig/ovel.pc README.md LICENSE bin/ovel.dll.debug \
  bin/addrbook.exe.debug; do
  check "the bundles hold $file" -- test -s "$b/$file"
done

# Each binary ships stripped and names its debug file (.gnu_debuglink: the
# name and the file's CRC-32); both carry the same build id.
debug_file_matches() {  # BINARY DEBUG_FILE
  ! "${objcopy%objcopy}objdump" -h "$1" | grep -q '\.debug_info' || { echo "$1 is not stripped"; return 1; }
  "$objcopy" --dump-section .gnu_debuglink="$work/debuglink" "$1" "$work/scratch" || return 1
  python3 -c 'import sys, zlib
link = open(sys.argv[1], "rb").read()
name, crc = link.split(b"\0")[0].decode(), int.from_bytes(link[-4:], "little")
data = open(sys.argv[2], "rb").read()
sys.exit(0 if name == sys.argv[2].split("/")[-1] and crc == zlib.crc32(data) else 1)' "$work/debuglink" "$2" ||
    { echo "$1 does not name $2 with its checksum"; return 1; }
  id=$("${objcopy%objcopy}objdump" -p "$1" | grep 'RSDS signature')
  test -n "$id" && test "$id" = "$("${objcopy%objcopy}objdump" -p "$2" | grep 'RSDS signature')"
}
for file in ovel.dll addrbook.exe; do
  check "$file is stripped and its debug file matches it" -- debug_file_matches "$b/bin/$file" "$b/bin/$file.debug"
done

# The version resources, as Windows reads them.
check "a version reader builds" -- "$cc" -std=c99 -Wall -Werror "$source/tests/version_info.c" -lversion \
  -o "$work/version_info.exe"
for file in ovel.dll addrbook.exe; do
  wine "$work/version_info.exe" "$b/bin/$file" 2>&1 | tr -d '\r' > "$work/version"
  for line in "FixedFileVersion=$version.0" "FixedProductVersion=$version.0" "FileVersion=$version" \
    "ProductVersion=$version" "OriginalFilename=$file" "CompanyName=The ovel developers" \
    "LegalCopyright=Copyright (c) 2026 The ovel developers"; do
    check "$file's version resource has $line" -- grep -qxF "$line" "$work/version"
  done
done

# run_caller NAME EXE: runs a caller in folder NAME beside a copy of the
# bundle's DLL, on an empty book in NAME/book.
run_caller() {
  mkdir -p "$work/$1/book" && cp "$b/bin/ovel.dll" "$2" "$work/$1/" &&
    (cd "$work/$1/book" && wine "../$(basename "$2")" "$work/$1/book")
}
# MinGW by hand, with the flags of the pkg-config file.
check "a MinGW caller builds with pkg-config's flags" -- sh -c "\"$cc\" -std=c99 -Wall -Werror \
  \"$source/tests/c_client_test.c\" \$(PKG_CONFIG_PATH=\"$b/lib/pkgconfig\" pkg-config --cflags --libs ovel) \
  -o \"$work/mingw.exe\""
check "the MinGW caller runs" -- run_caller mingw "$work/mingw.exe"

# Microsoft's ABI by hand: clang, lld-link and ovel.lib; again with an
# import library made from lib/ovel.def.
printf 'LIBRARY kernel32.dll\nEXPORTS\n  %s\n' "$exit" > "$work/kernel32.def"
check "kernel32.lib" -- "$dlltool" -m $machine $kill -d "$work/kernel32.def" -l "$work/kernel32.lib"
check "an MSVC-ABI caller compiles" -- "$clang" --target=$triple -ffreestanding -fno-builtin -O1 -Wall \
  -Werror -I"$b/include" -c "$source/tests/msvc_client.c" -o "$work/msvc.obj"
check "an import library made from lib/ovel.def" -- "$dlltool" -m $machine $kill -d "$b/lib/ovel.def" \
  -D ovel.dll -l "$work/from-def.lib"
libs="$b/lib/ovel.lib $work/from-def.lib"
if [ "$machine" != i386 ]; then  # Microsoft's lib /def, as lld-link does it
  check "lld-link /def makes one too" -- "$lld_link" /def:"$b/lib/ovel.def" /machine:x64 /out:"$work/from-def-ms.lib"
  libs="$libs $work/from-def-ms.lib"
fi
for lib in $libs; do
  name=msvc-$(basename "$lib" .lib)
  check "lld-link links the caller against $(basename "$lib")" -- "$lld_link" /nologo /entry:start \
    /subsystem:console /nodefaultlib "$work/msvc.obj" "$lib" "$work/kernel32.lib" /out:"$work/$name.exe"
  check "that caller runs" -- run_caller "$name" "$work/$name.exe"
done

# Through find_package: MinGW's linker gets libovel.dll.a, Microsoft's
# ABI ovel.lib.
consumer() {  # NAME IMPORT_LIBRARY CMAKE_ARGUMENTS...
  name="$1" implib="$2"; shift 2
  cmake -S "$source/tests/consumer" -B "$work/build-$name" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_PREFIX_PATH="$b" "$@" && cmake --build "$work/build-$name" &&
    grep -rqI "lib/$implib" "$work/build-$name" &&
    run_caller "$name" "$work/build-$name/consumer.exe"
}
check "a MinGW consumer through find_package" -- consumer cmake-mingw libovel.dll.a \
  -DCMAKE_TOOLCHAIN_FILE="$toolchain"
check "an MSVC-ABI consumer through find_package" -- consumer cmake-msvc ovel.lib \
  -DCMAKE_TOOLCHAIN_FILE="$source/tests/consumer/clang-msvc.cmake" -DOVEL_MSVC_TRIPLE=$triple \
  -DOVEL_KERNEL32_LIB="$work/kernel32.lib"

# The tool, beside the DLL as the bundle has it.
check "addrbook.exe --version" -- sh -c "\"$source/scripts/wine-run\" \"$b/bin/addrbook.exe\" --version | grep -qx '$version'"
check "addrbook.exe on the club example" -- sh -c "\"$source/scripts/wine-run\" \"$b/bin/addrbook.exe\" \
  -d \"$source/examples/club\" expand Everyone --recursive --format csv | grep -q 'Ken Thompson,ken@unix.example'"

finish
