# ovel.dll: no "lib" prefix, no MinGW runtime DLLs, the eleven functions, the
# transaction pair and the group functions exported under their plain names,
# a version resource, and two import libraries: libovel.dll.a for MinGW's
# linker and ovel.lib for Microsoft's (and lld-link, which refuses a GNU one).
target_sources(ovel PRIVATE frame/entry_point.cpp)
target_include_directories(ovel PRIVATE ${PROJECT_SOURCE_DIR}/include)
set_target_properties(ovel PROPERTIES PREFIX "" IMPORT_PREFIX "lib" IMPORT_SUFFIX ".dll.a")
include(${PROJECT_SOURCE_DIR}/cmake/VersionResource.cmake)
ovel_version_resource(ovel "${PROJECT_DESCRIPTION}")
target_link_options(ovel PRIVATE -static -static-libgcc -static-libstdc++)

# frame/ovel.def is the one list of exports, under the compiler's 32-bit
# __stdcall names (OvelInitialize@8).  The .def the build links with and the
# bundle ships is made from it, headed by how to make an import library
# from it: the list as it is on 32-bit Windows, the names alone on 64-bit
# Windows, which has one calling convention and no decoration.
include(GNUInstallDirs)
set(OVEL_DEF ${CMAKE_BINARY_DIR}/ovel.def)
file(READ ${PROJECT_SOURCE_DIR}/frame/ovel.def def_text)
string(REGEX REPLACE "^.*\n(LIBRARY )" "\\1" def_text "${def_text}")
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(OVEL_DLLTOOL_MACHINE i386)
  set(OVEL_MSVC_TRIPLE i686-pc-windows-msvc)
  # --kill-at: the DLL exports the plain names, and an import library made
  # from the .def maps the decorated names callers' compilers emit to them.
  set(OVEL_KILL_AT --kill-at)
  set(def_head "; Exports of ovel.dll, under the __stdcall names 32-bit compilers give
; them (OvelInitialize@8); the DLL exports the plain names (OvelInitialize).
; An import library for Microsoft's linker (or lld-link):
;   llvm-dlltool -m i386 --kill-at -d ovel.def -D ovel.dll -l ovel.lib
; and for MinGW: dlltool --kill-at -d ovel.def -D ovel.dll -l libovel.dll.a
; Microsoft's lib /def cannot make an import library of __stdcall functions
; exported under plain names from a .def alone: use the ovel.lib beside it.
")
else()
  set(OVEL_DLLTOOL_MACHINE i386:x86-64)
  set(OVEL_MSVC_TRIPLE x86_64-pc-windows-msvc)
  set(OVEL_KILL_AT)
  string(REGEX REPLACE "@[0-9]+" "" def_text "${def_text}")
  set(def_head "; Exports of ovel.dll (64-bit).  An import library for Microsoft's linker:
;   lib /def:ovel.def /machine:x64 /out:ovel.lib
; (or llvm-dlltool -m i386:x86-64 -d ovel.def -D ovel.dll -l ovel.lib),
; and for MinGW: dlltool -d ovel.def -D ovel.dll -l libovel.dll.a
")
endif()
file(WRITE ${OVEL_DEF} "${def_head}${def_text}")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/frame/ovel.def)
target_link_options(ovel PRIVATE ${OVEL_DEF} $<$<BOOL:${OVEL_KILL_AT}>:-Wl,--kill-at>)
set_property(TARGET ovel APPEND PROPERTY LINK_DEPENDS ${OVEL_DEF})

if(OVEL_KILL_AT)
  # ld's own import library would lack the decorated names, so dlltool
  # makes one that maps them.
  find_program(OVEL_DLLTOOL NAMES ${CMAKE_C_COMPILER_TARGET}-dlltool REQUIRED)
  add_custom_command(TARGET ovel POST_BUILD
    COMMAND ${OVEL_DLLTOOL} --kill-at -d ${OVEL_DEF} -D ovel.dll -l $<TARGET_LINKER_FILE:ovel>
    COMMENT "Making the import library of ovel.dll")
endif()
# Microsoft's linker reads its own import library format: ovel.lib, from
# the same .def.
find_program(OVEL_LLVM_DLLTOOL NAMES llvm-dlltool llvm-dlltool-14)
if(OVEL_LLVM_DLLTOOL)
  set(OVEL_MSVC_IMPORT_LIBRARY ${CMAKE_BINARY_DIR}/ovel.lib)
  add_custom_command(TARGET ovel POST_BUILD
    COMMAND ${OVEL_LLVM_DLLTOOL} -m ${OVEL_DLLTOOL_MACHINE} ${OVEL_KILL_AT} -d ${OVEL_DEF} -D ovel.dll
            -l ${OVEL_MSVC_IMPORT_LIBRARY}
    COMMENT "Making the MSVC import library ovel.lib")
  install(FILES ${OVEL_MSVC_IMPORT_LIBRARY} ${OVEL_DEF} DESTINATION ${CMAKE_INSTALL_LIBDIR}
          COMPONENT development)
endif()
