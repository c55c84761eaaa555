#!/bin/sh
# Makes the Windows bundle of a windows build with cpack, unpacks it,
# builds a MinGW caller and (32-bit) an MSVC-style caller (clang and
# lld-link against ovel.lib) from the bundle alone, and runs them and
# addrbook.exe under Wine.
# Usage: zip_test.sh BUILD_DIR SOURCE_DIR CC [CLANG LLD_LINK LLVM_DLLTOOL]
build="$1"; source="$2"; cc="$3"; clang="${4:-}"; lld_link="${5:-}"; dlltool="${6:-}"
. "$(dirname "$0")/test_helpers.sh"
run() { "$source/scripts/wine-run" "$@"; }

check "cpack makes the bundle" -- cpack -B "$work/packages" --config "$build/CPackConfig.cmake"
zip=$(ls "$work"/packages/ovel-*-win*.zip 2>/dev/null | head -n 1)
check "it is named ovel-VERSION-win32/64.zip" -- test -s "$zip"
mkdir "$work/ovel" && (cd "$work/ovel" && unzip -q "$zip")
b="$work/ovel"
files="bin/ovel.dll bin/addrbook.exe lib/libovel.dll.a include/ovel.h README.md LICENSE"
case "$zip" in *win32.zip) files="$files lib/ovel.lib lib/ovel.def" ;; esac
for file in $files; do check "the bundle holds $file" -- test -s "$b/$file"; done

# A MinGW caller, linked against the bundle's import library.
mkdir "$work/mingw" "$work/mingw/book"
check "a MinGW caller builds" -- "$cc" -std=c99 -Wall -Werror -I"$b/include" "$source/tests/c_client_test.c" \
  -L"$b/lib" -lovel -o "$work/mingw/client.exe"
cp "$b/bin/ovel.dll" "$work/mingw/"
check "the MinGW caller runs" -- run "$work/mingw/client.exe" "$work/mingw/book"

# An MSVC-style caller: clang for i686-pc-windows-msvc, lld-link, ovel.lib.
if [ -f "$b/lib/ovel.lib" ] && [ -n "$clang" ] && [ -n "$lld_link" ] && [ -n "$dlltool" ]; then
  mkdir "$work/msvc" "$work/msvc/book"
  printf 'LIBRARY kernel32.dll\nEXPORTS\n  ExitProcess@4\n' > "$work/msvc/kernel32.def"
  check "an MSVC-style caller builds" -- sh -c "cd \"$work/msvc\" &&
    \"$dlltool\" -m i386 --kill-at -d kernel32.def -l kernel32.lib &&
    \"$clang\" --target=i686-pc-windows-msvc -ffreestanding -fno-builtin -O1 -I\"$b/include\" \
      -c \"$source/tests/msvc_client.c\" -o client.obj &&
    \"$lld_link\" /nologo /entry:start /subsystem:console /nodefaultlib client.obj \
      \"$b/lib/ovel.lib\" kernel32.lib /out:client.exe"
  cp "$b/bin/ovel.dll" "$work/msvc/"
  check "the MSVC-style caller runs" -- sh -c "cd \"$work/msvc/book\" && \"$source/scripts/wine-run\" ../client.exe"
fi

# The tool, beside the DLL as the bundle has it.
check "addrbook.exe --version" -- sh -c "\"$source/scripts/wine-run\" \"$b/bin/addrbook.exe\" --version | grep -q '^[0-9]'"
check "addrbook.exe on the club example" -- sh -c "\"$source/scripts/wine-run\" \"$b/bin/addrbook.exe\" \
  -d \"$source/examples/club\" expand Everyone --recursive --format csv | grep -q 'Ken Thompson,ken@unix.example'"

finish
