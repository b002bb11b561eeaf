# `cpack -G DEB` (scripts/package): one package with the library, the command,
# the headers and the pkg-config and CMake files; runtime dependencies come
# from dpkg-shlibdeps.
set(CPACK_PACKAGE_NAME harnoquistel)
set(CPACK_PACKAGE_VENDOR "Harnoquistel")
set(CPACK_PACKAGE_CONTACT "Harnoquistel developers <harnoquistel@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Capture driver library for ONVIF IP cameras, with the harnoquistel command")
set(CPACK_PACKAGE_DESCRIPTION
  "libharnoquistel.so receives live H.264 over RTSP/RTP, sets cameras up over ONVIF, steers PTZ and answers a capability query for a recording host that loads it. The harnoquistel command queries, records from and steers a camera and runs a simulated camera for a demo.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# A shlibs control file and the ldconfig trigger, as for any package that ships a shared library.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
include(CPack)
