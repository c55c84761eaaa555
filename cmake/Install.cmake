# Installs the header, the library, a CMake package (find_package(ovel
# CONFIG) gives ovel::ovel) and ovel.pc for pkg-config.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)
# Components, one per package: "runtime" (the shared library), "development"
# (header, link library, CMake package, pkg-config file) and "tool"
# (addrbook, tools/CMakeLists.txt).
install(TARGETS ovel EXPORT ovelTargets
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime
                NAMELINK_COMPONENT development
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development)
install(FILES ${PROJECT_SOURCE_DIR}/include/ovel.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
        COMPONENT development)
set(OVEL_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/ovel)
install(EXPORT ovelTargets NAMESPACE ovel:: DESTINATION ${OVEL_CMAKE_DIR} COMPONENT development)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/ovelConfig.cmake.in
                              ${CMAKE_BINARY_DIR}/ovelConfig.cmake INSTALL_DESTINATION ${OVEL_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/ovelConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/ovelConfig.cmake ${CMAKE_BINARY_DIR}/ovelConfigVersion.cmake
        DESTINATION ${OVEL_CMAKE_DIR} COMPONENT development)
configure_file(${PROJECT_SOURCE_DIR}/cmake/ovel.pc.in ${CMAKE_BINARY_DIR}/ovel.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/ovel.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
        COMPONENT development)
