# Installation: the library, its headers, a CMake package
# (find_package(KvSupport) -> KvSupport::kvsupport) and a pkg-config file.
include(CMakePackageConfigHelpers)

# Components split it for packaging: the shared library alone ("runtime"),
# what a program building against it needs ("development"), and kvtool ("tool").
install(TARGETS kvsupport EXPORT KvSupportTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime
                NAMELINK_COMPONENT development
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/kvsupport
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT development)

set(KV_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/KvSupport)
install(EXPORT KvSupportTargets NAMESPACE KvSupport::
        DESTINATION ${KV_CMAKE_DIR} COMPONENT development)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/KvSupportConfig.cmake.in
  ${PROJECT_BINARY_DIR}/KvSupportConfig.cmake INSTALL_DESTINATION ${KV_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/KvSupportConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/KvSupportConfig.cmake
              ${PROJECT_BINARY_DIR}/KvSupportConfigVersion.cmake
        DESTINATION ${KV_CMAKE_DIR} COMPONENT development)

# The .pc file finds its prefix from its own place, so the tree can be moved.
file(RELATIVE_PATH KV_PC_TO_PREFIX /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
configure_file(${PROJECT_SOURCE_DIR}/cmake/kvsupport.pc.in
               ${PROJECT_BINARY_DIR}/kvsupport.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/kvsupport.pc
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT development)
