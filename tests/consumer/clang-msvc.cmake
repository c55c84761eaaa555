# A consumer with Microsoft's ABI, built here: clang-cl and lld-link for
# OVEL_MSVC_TRIPLE (i686-pc-windows-msvc or x86_64-pc-windows-msvc), with
# no Windows SDK or C library, so no default libraries and no test link.
set(CMAKE_SYSTEM_NAME Windows)
find_program(CMAKE_C_COMPILER NAMES clang-cl clang-cl-14 PATHS /usr/lib/llvm-14/bin REQUIRED)
find_program(CMAKE_LINKER NAMES lld-link lld-link-14 REQUIRED)
set(CMAKE_C_COMPILER_TARGET ${OVEL_MSVC_TRIPLE})
set(CMAKE_C_COMPILER_WORKS ON)
set(CMAKE_C_STANDARD_LIBRARIES "" CACHE STRING "No Windows SDK here")
set(CMAKE_EXE_LINKER_FLAGS_INIT /manifest:no)
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES OVEL_MSVC_TRIPLE)
