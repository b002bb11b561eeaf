# `cpack -G DEB` (scripts/package): three packages from the install components,
# as Debian splits a library.
#   libharnoquistel0     Runtime      the shared library with its SONAME link
#   libharnoquistel-dev  Development  headers, the .so link, pkg-config and CMake files
#   harnoquistel         Tool         the command, the simulator's clips, manual, completion
# PROJECT_VERSION is the package version (a native package: the packaging is
# ours), the library's VERSION/SOVERSION, the command's --version and the
# manual's; packaging/changelog must start with it (checked when packing).
set(HQ_DEB_RUNTIME libharnoquistel${PROJECT_VERSION_MAJOR})
set(HQ_DEB_DEVELOPMENT libharnoquistel-dev)
set(HQ_DEB_TOOL harnoquistel)
set(HQ_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)

# Every package carries the copyright file and the changelog in its doc directory.
add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/changelog.gz
  COMMAND gzip -9n -c ${HQ_PACKAGING_DIR}/changelog > ${PROJECT_BINARY_DIR}/changelog.gz
  DEPENDS ${HQ_PACKAGING_DIR}/changelog VERBATIM)
add_custom_target(harnoquistel_changelog ALL DEPENDS ${PROJECT_BINARY_DIR}/changelog.gz)
foreach(component Runtime Development Tool)
  string(TOUPPER ${component} upper)
  install(FILES ${HQ_PACKAGING_DIR}/copyright ${PROJECT_BINARY_DIR}/changelog.gz
    DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${HQ_DEB_${upper}}
    COMPONENT ${component})
endforeach()

set(CPACK_PACKAGE_NAME harnoquistel)
set(CPACK_PACKAGE_VENDOR "Harnoquistel")
set(CPACK_PACKAGE_CONTACT "Harnoquistel developers <dev@harnoquistel.example>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL Runtime Development Tool)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_BINARY_DIR}/HarnoquistelCPackOptions.cmake)
configure_file(${HQ_PACKAGING_DIR}/CPackOptions.cmake.in ${PROJECT_BINARY_DIR}/HarnoquistelCPackOptions.cmake @ONLY)

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME ${HQ_DEB_RUNTIME})
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_RUNTIME_DESCRIPTION "capture driver library for ONVIF IP cameras
libharnoquistel receives live H.264 over RTSP/RTP, sets cameras up over ONVIF,
steers pan-tilt-zoom heads and answers a capability query, for a recording
host that loads it with dlopen and calls its ten C entry points.
.
This package holds the shared library.")
# The shlibs file and the ldconfig trigger; the symbols file lists the exports,
# so a package built against the library depends on the version that has them.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA ${HQ_PACKAGING_DIR}/symbols)
set(CPACK_POST_BUILD_SCRIPTS ${HQ_PACKAGING_DIR}/ldconfig-trigger.cmake)

set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME ${HQ_DEB_DEVELOPMENT})
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS "${HQ_DEB_RUNTIME} (= ${PROJECT_VERSION})")
set(CPACK_DEBIAN_DEVELOPMENT_DESCRIPTION "capture driver library for ONVIF IP cameras - development files
libharnoquistel receives live H.264 over RTSP/RTP, sets cameras up over ONVIF,
steers pan-tilt-zoom heads and answers a capability query, for a recording
host that loads it with dlopen and calls its ten C entry points.
.
This package holds the headers, the libharnoquistel.so link, the pkg-config
file harnoquistel.pc and the CMake package Harnoquistel.")

# The command reaches the library through dlopen, which dpkg-shlibdeps cannot
# see: that dependency is written here, the rest (libav*) is computed.
set(CPACK_DEBIAN_TOOL_PACKAGE_NAME ${HQ_DEB_TOOL})
set(CPACK_DEBIAN_TOOL_PACKAGE_SECTION video)
set(CPACK_DEBIAN_TOOL_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_TOOL_PACKAGE_DEPENDS "${HQ_DEB_RUNTIME} (>= ${PROJECT_VERSION})")
set(CPACK_DEBIAN_TOOL_DESCRIPTION "IP camera capture tool and simulated camera
The harnoquistel command queries, records from and steers ONVIF IP cameras
through libharnoquistel, writes snapshots, and runs a simulated camera (ONVIF,
RTSP/RTP, PTZ CGI) for tests and for a self-contained demo.")
include(CPack)
