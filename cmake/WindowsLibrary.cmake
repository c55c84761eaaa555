# ovel.dll: no "lib" prefix, no MinGW runtime DLLs, the eleven functions and
# the transaction pair exported under their plain names.
target_sources(ovel PRIVATE frame/entry_point.cpp)
target_include_directories(ovel PRIVATE ${PROJECT_SOURCE_DIR}/include)
set_target_properties(ovel PROPERTIES PREFIX "" IMPORT_PREFIX "lib" IMPORT_SUFFIX ".dll.a")
set(OVEL_DEF ${PROJECT_SOURCE_DIR}/frame/ovel.def)
target_link_options(ovel PRIVATE -static -static-libgcc -static-libstdc++)
set_property(TARGET ovel APPEND PROPERTY LINK_DEPENDS ${OVEL_DEF})

if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  # The .def names the compiler's __stdcall names; --kill-at exports them
  # plain.  ld's own import library would then lack the decorated names that
  # callers' compilers emit, so dlltool makes one that maps them.
  target_link_options(ovel PRIVATE ${OVEL_DEF} -Wl,--kill-at)
  find_program(OVEL_DLLTOOL NAMES ${CMAKE_C_COMPILER_TARGET}-dlltool i686-w64-mingw32-dlltool
               REQUIRED)
  add_custom_command(TARGET ovel POST_BUILD
    COMMAND ${OVEL_DLLTOOL} --kill-at -d ${OVEL_DEF} -D ovel.dll -l $<TARGET_LINKER_FILE:ovel>
    COMMENT "Making the import library of ovel.dll")
  # Microsoft's linker reads its own import library format: ovel.lib, from
  # the same .def (decorated names in, plain names imported).
  find_program(OVEL_LLVM_DLLTOOL NAMES llvm-dlltool llvm-dlltool-14)
  if(OVEL_LLVM_DLLTOOL)
    set(OVEL_MSVC_IMPORT_LIBRARY ${CMAKE_BINARY_DIR}/ovel.lib)
    add_custom_command(TARGET ovel POST_BUILD
      COMMAND ${OVEL_LLVM_DLLTOOL} -m i386 --kill-at -d ${OVEL_DEF} -D ovel.dll
              -l ${OVEL_MSVC_IMPORT_LIBRARY}
      COMMENT "Making the MSVC import library ovel.lib")
    install(FILES ${OVEL_MSVC_IMPORT_LIBRARY} ${OVEL_DEF} DESTINATION lib COMPONENT development)
  endif()
else()
  # 64-bit Windows has one calling convention and no decoration.
  file(READ ${OVEL_DEF} def_text)
  string(REGEX REPLACE "@[0-9]+" "" def_text "${def_text}")
  file(WRITE ${CMAKE_BINARY_DIR}/ovel64.def "${def_text}")
  target_link_options(ovel PRIVATE ${CMAKE_BINARY_DIR}/ovel64.def)
endif()
