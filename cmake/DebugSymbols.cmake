# Debug information for what ships, kept apart from it, so that a crash
# report from a user's machine can be read.  The library and the tool are
# compiled with -g in every build type (it changes no code).
#  - Debian packages: CPack moves each ELF file's debug information to a
#    -dbgsym package (/usr/lib/debug/.build-id/XX/YYYY.debug) and strips
#    the file (cmake/Package.cmake).
#  - Windows: ovel_split_debug_info(TARGET) moves the debug information to
#    NAME.debug beside the program after each link and names that file in
#    the program (.gnu_debuglink, with its checksum); the program also
#    carries a build id.  (Wine maps a program's DWARF sections with the
#    rest, which slows every start.)  The bundle's binaries are stripped of
#    their symbols too; NAME.debug goes to the "debug" component, the
#    -debug zip.
add_library(ovel_symbols INTERFACE)
target_compile_options(ovel_symbols INTERFACE $<$<COMPILE_LANGUAGE:C,CXX>:-g>)

function(ovel_split_debug_info target)
  if(NOT WIN32)
    return()
  endif()
  find_program(OVEL_OBJCOPY NAMES ${CMAKE_C_COMPILER_TARGET}-objcopy REQUIRED)
  target_link_options(${target} PRIVATE -Wl,--build-id)
  set(file $<TARGET_FILE_NAME:${target}>)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${OVEL_OBJCOPY} --only-keep-debug ${file} ${file}.debug
    COMMAND ${OVEL_OBJCOPY} --strip-debug --add-gnu-debuglink=${file}.debug ${file}
    WORKING_DIRECTORY $<TARGET_FILE_DIR:${target}>
    COMMENT "Copying the debug information of ${target} to a .debug file")
  install(FILES $<TARGET_FILE:${target}>.debug DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT debug)
endfunction()
