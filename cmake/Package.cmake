# Packages made by cpack: on Windows a ZIP with the DLL, its import
# libraries and .def, the header, addrbook.exe, the README and the licence,
# and a second ZIP with their debug information (cmake/DebugSymbols.cmake);
# elsewhere three Debian packages, one per install component: libovel1
# (the shared library), libovel-dev (header, link library, CMake package,
# pkg-config file) and addrbook (the tool, its manual page and completion),
# and a -dbgsym package of the debug information of the first and the last.
set(CPACK_PACKAGE_NAME ovel)
set(CPACK_PACKAGE_VENDOR "The ovel developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)

if(WIN32)
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
  install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION .
          COMPONENT runtime)
  set(CPACK_GENERATOR ZIP)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(CPACK_PACKAGE_FILE_NAME ovel-${PROJECT_VERSION}-win32)
  else()
    set(CPACK_PACKAGE_FILE_NAME ovel-${PROJECT_VERSION}-win64)
  endif()
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
  # The binaries are stripped; each keeps the name and checksum of its
  # debug file (.gnu_debuglink).  Two zips, one per group of components:
  # the bundle, and its debug files (bin/*.debug, to unpack over it).
  set(CPACK_STRIP_FILES ON)
  set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
  set(CPACK_COMPONENTS_GROUPING ONE_PER_GROUP)
  set(CPACK_COMPONENTS_ALL runtime development tool debug)
  foreach(component runtime development tool)
    string(TOUPPER ${component} upper)
    set(CPACK_COMPONENT_${upper}_GROUP bundle)
  endforeach()
  set(CPACK_COMPONENT_DEBUG_GROUP debug)
  set(CPACK_ARCHIVE_BUNDLE_FILE_NAME ${CPACK_PACKAGE_FILE_NAME})
  set(CPACK_ARCHIVE_DEBUG_FILE_NAME ${CPACK_PACKAGE_FILE_NAME}-debug)
else()
  set(CPACK_GENERATOR DEB)
  # CPack puts a summary other than its default before each component's
  # description; each package's description begins with its own synopsis.
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${CMAKE_PROJECT_NAME} built using CMake")
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEB_COMPONENT_INSTALL ON)
  set(CPACK_COMPONENTS_ALL runtime development tool)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "The ovel developers <ovel@packages.invalid>")
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  # Dependencies on the C and C++ runtimes from dpkg-shlibdeps; the
  # library itself is found in the build tree.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR})
  set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
  set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY "=")
  # The library's and the tool's debug information goes to libovel1-dbgsym
  # and addrbook-dbgsym (.ddeb), under /usr/lib/debug/.build-id; CPack
  # strips the files it takes it from, so install must not strip them first.
  set(CPACK_DEBIAN_RUNTIME_DEBUGINFO_PACKAGE ON)
  set(CPACK_DEBIAN_TOOL_DEBUGINFO_PACKAGE ON)
  set(version ${PROJECT_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE})
  set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME libovel1)
  set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
  # The dynamic linker's cache is brought up to date by dpkg's trigger.
  set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/packaging/triggers)
  set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_STRICT_PERMISSION ON)
  # The first line of each description is the package's synopsis.
  set(CPACK_DEBIAN_RUNTIME_DESCRIPTION "small, exact, crash-safe address-book library
ovel keeps an address book in one file, ADDRBOOK.DAT, in a fixed binary
format shared with other programs: entries and groups in surname order,
walked through views, changed durably and safely by several programs at
once.  This package holds the shared library.")
  set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME libovel-dev)
  set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
  set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS "libovel1 (= ${version})")
  set(CPACK_DEBIAN_DEVELOPMENT_DESCRIPTION "small, exact, crash-safe address-book library (development files)
The C header ovel.h, the link library, a CMake package (find_package(ovel))
and a pkg-config file (ovel.pc) for programs that use libovel1.")
  set(CPACK_DEBIAN_TOOL_PACKAGE_NAME addrbook)
  set(CPACK_DEBIAN_TOOL_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_TOOL_PACKAGE_DEPENDS "libovel1 (= ${version})")
  set(CPACK_DEBIAN_TOOL_DESCRIPTION "command-line address book over the ovel library
addrbook lists, finds, adds, edits and deletes the entries of an ovel
address book (ADDRBOOK.DAT), expands its groups, imports contacts from
Google, Outlook, Thunderbird, vCard, LDIF and mutt alias files, exports
them again, and answers a mail client's address queries.")

  # Each package's copyright file and changelog, where Debian keeps them.
  # Compressed when the tree is configured, so that an install of a tree
  # built for one target alone finds it.
  set(changelog ${CMAKE_BINARY_DIR}/changelog.Debian.gz)
  execute_process(COMMAND gzip -9n -c ${PROJECT_SOURCE_DIR}/packaging/changelog
                  OUTPUT_FILE ${changelog} COMMAND_ERROR_IS_FATAL ANY)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
               ${PROJECT_SOURCE_DIR}/packaging/changelog)
  foreach(component runtime development tool)
    string(TOUPPER ${component} upper)
    set(package ${CPACK_DEBIAN_${upper}_PACKAGE_NAME})
    install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright ${changelog}
            DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package} COMPONENT ${component})
  endforeach()
endif()
include(CPack)
