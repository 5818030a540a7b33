# Debian packages, made by `cpack -G DEB` in a (release) build tree:
#   libkvsupport<SOVERSION>  the shared library with its SONAME
#   libkvsupport-dev         headers, the CMake package and kvsupport.pc
#   kvtool                   the command-line tool
# Dependencies on the C++ runtime and Qt are worked out from the binaries by
# dpkg-shlibdeps; those between our own packages are stated here.
set(KV_RUNTIME_PACKAGE libkvsupport${PROJECT_VERSION_MAJOR})

set(CPACK_PACKAGE_NAME kvsupport)
set(CPACK_PACKAGE_VENDOR "Kelvanta")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY ${PROJECT_DESCRIPTION})
set(CPACK_PACKAGE_CONTACT "Kelvanta kvsupport developers <kvsupport@kelvanta.invalid>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_COMPONENTS_ALL runtime development tool)
set(CPACK_DEB_COMPONENT_INSTALL ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# kvtool's own library is found in the build tree; the dependency on its
# package is stated below. The library's package carries a shlibs file, so
# programs packaged against it get that dependency worked out too.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${PROJECT_BINARY_DIR}/src)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(KV_EXACT_RUNTIME "${KV_RUNTIME_PACKAGE} (= ${PROJECT_VERSION})")

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME ${KV_RUNTIME_PACKAGE})
set(CPACK_COMPONENT_RUNTIME_DESCRIPTION
    "${PROJECT_DESCRIPTION}\nThe shared library loaded by the suite's programs.")

set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME libkvsupport-dev)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS "${KV_EXACT_RUNTIME}, qtbase5-dev")
set(CPACK_COMPONENT_DEVELOPMENT_DESCRIPTION
    "${PROJECT_DESCRIPTION}\nHeaders, CMake package (find_package(KvSupport)) and pkg-config file.")

set(CPACK_DEBIAN_TOOL_PACKAGE_NAME kvtool)
set(CPACK_DEBIAN_TOOL_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_TOOL_PACKAGE_DEPENDS ${KV_EXACT_RUNTIME})
set(CPACK_COMPONENT_TOOL_DESCRIPTION
    "${PROJECT_DESCRIPTION}\nkvtool puts the library's services on the command line.")

include(CPack)
