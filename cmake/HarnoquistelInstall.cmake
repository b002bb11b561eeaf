# Install layout: the library with its SONAME links, the public headers, the
# command with the simulator's clips, its manual page and bash completion, a
# pkg-config file and a CMake package. Every path is relative to the prefix, so
# `cmake --install --prefix` and DESTDIR both hold. The components Runtime (the
# library), Development and Tool (the command) are the Debian packages.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(HQ_CMAKE_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Harnoquistel)

# Hosts that dlopen the library compile against the headers only.
add_library(harnoquistel_headers INTERFACE)
add_library(Harnoquistel::headers ALIAS harnoquistel_headers)
set_target_properties(harnoquistel_headers PROPERTIES EXPORT_NAME headers)
target_include_directories(harnoquistel_headers INTERFACE
  $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include> $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
install(TARGETS harnoquistel_headers EXPORT HarnoquistelTargets)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/velkora DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
  COMPONENT Development)

if(TARGET harnoquistel)
  add_library(Harnoquistel::harnoquistel ALIAS harnoquistel)
  set_target_properties(harnoquistel PROPERTIES VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR})
  target_link_libraries(harnoquistel INTERFACE harnoquistel_headers)
  # A shared library is mapped, never executed: no execute bits.
  install(TARGETS harnoquistel EXPORT HarnoquistelTargets
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Runtime NAMELINK_COMPONENT Development
    PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
endif()

install(EXPORT HarnoquistelTargets NAMESPACE Harnoquistel:: DESTINATION ${HQ_CMAKE_PACKAGE_DIR}
  COMPONENT Development)
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/HarnoquistelConfig.cmake.in
  ${PROJECT_BINARY_DIR}/HarnoquistelConfig.cmake INSTALL_DESTINATION ${HQ_CMAKE_PACKAGE_DIR})
# 0.x: the SONAME changes with the major version, and so does compatibility.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/HarnoquistelConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/HarnoquistelConfig.cmake ${PROJECT_BINARY_DIR}/HarnoquistelConfigVersion.cmake
  DESTINATION ${HQ_CMAKE_PACKAGE_DIR} COMPONENT Development)

# pkg-config: the prefix is found from the .pc file's own place (pkgconf's pcfiledir).
file(RELATIVE_PATH HQ_PC_PREFIX_FROM_PCDIR ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig ${CMAKE_INSTALL_PREFIX})
string(REGEX REPLACE "/$" "" HQ_PC_PREFIX_FROM_PCDIR "${HQ_PC_PREFIX_FROM_PCDIR}")
foreach(dir LIBDIR INCLUDEDIR)
  if(IS_ABSOLUTE "${CMAKE_INSTALL_${dir}}")
    set(HQ_PC_${dir} "${CMAKE_INSTALL_${dir}}")
  else()
    set(HQ_PC_${dir} "\${prefix}/${CMAKE_INSTALL_${dir}}")
  endif()
endforeach()
configure_file(${PROJECT_SOURCE_DIR}/harnoquistel.pc.in ${PROJECT_BINARY_DIR}/harnoquistel.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/harnoquistel.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
  COMPONENT Development)

if(TARGET harnoquistel_cli)
  # The command finds the library and the clips relative to itself.
  file(RELATIVE_PATH hq_lib_from_bin ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_LIBDIR})
  file(RELATIVE_PATH hq_clips_from_bin ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_DATADIR}/harnoquistel/clips)
  target_compile_definitions(harnoquistel_cli PRIVATE
    HQ_INSTALLED_LIBRARY="${hq_lib_from_bin}/libharnoquistel.so.${PROJECT_VERSION_MAJOR}")
  target_compile_definitions(hq_sim PRIVATE HQ_SIM_INSTALLED_CLIPS_DIR="${hq_clips_from_bin}")
  install(TARGETS harnoquistel_cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT Tool)
  # The codec module is the command's own: a private directory, no SONAME, not executable.
  target_compile_definitions(harnoquistel_cli PRIVATE HQ_INSTALLED_CODEC_DIR="${hq_lib_from_bin}/harnoquistel")
  install(TARGETS harnoquistel_codecs LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}/harnoquistel COMPONENT Tool
    PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/sim/clips/ DESTINATION ${CMAKE_INSTALL_DATADIR}/harnoquistel/clips
    COMPONENT Tool FILES_MATCHING PATTERN "*.h264" PATTERN "*.jpg")
  # The manual page and the bash completion are generated from the command's
  # own --help, so they list what the parser accepts.
  set(hq_from_help ${PROJECT_SOURCE_DIR}/packaging/from-help)
  add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/harnoquistel.1.gz ${PROJECT_BINARY_DIR}/harnoquistel.bash
    COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=0 ${hq_from_help} $<TARGET_FILE:harnoquistel_cli> ${PROJECT_VERSION} ${PROJECT_BINARY_DIR}
    DEPENDS harnoquistel_cli ${hq_from_help} VERBATIM)
  add_custom_target(harnoquistel_docs ALL DEPENDS ${PROJECT_BINARY_DIR}/harnoquistel.1.gz)
  install(FILES ${PROJECT_BINARY_DIR}/harnoquistel.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT Tool)
  install(FILES ${PROJECT_BINARY_DIR}/harnoquistel.bash DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
    RENAME harnoquistel COMPONENT Tool)
endif()

# The install rules kept honest: a host built against a staging install. An
# instrumented library needs an instrumented host, so only plain builds run it.
if(HQ_TESTS AND HARNOQUISTEL_SANITIZE STREQUAL "" AND NOT HARNOQUISTEL_FUZZ)
  add_test(NAME consumer COMMAND ${CMAKE_COMMAND} -E env CXX=${CMAKE_CXX_COMPILER}
    ${PROJECT_SOURCE_DIR}/tests/consumer/run ${PROJECT_BINARY_DIR})
  set_tests_properties(consumer PROPERTIES LABELS install TIMEOUT 300)
endif()
