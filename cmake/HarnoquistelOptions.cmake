# Build switches. A plain configure builds what we ship (library, command,
# simulator) and the tests; a packager turns the tests off and needs only
# libcurl and libxml2 for the library.
include(CMakeDependentOption)

option(HARNOQUISTEL_WERROR "Treat compiler warnings as errors (our own builds: scripts/test, CI)" OFF)
option(HARNOQUISTEL_BUILD_SIM "Build the simulated camera" ON)
# `harnoquistel demo` and `harnoquistel sim` run the simulated camera in process,
# so the command exists only together with it.
cmake_dependent_option(HARNOQUISTEL_BUILD_CLI "Build the harnoquistel command (needs HARNOQUISTEL_BUILD_SIM)" ON
  "HARNOQUISTEL_BUILD_SIM" OFF)
option(HARNOQUISTEL_BENCH "Build the benchmarks of bench/" OFF)
set(HARNOQUISTEL_SANITIZE "" CACHE STRING "Sanitizer build: empty, address (ASan+UBSan) or thread (TSan)")
option(HARNOQUISTEL_FUZZ "Build the libFuzzer targets of fuzz/ (needs clang)" OFF)

# BUILD_TESTING is CTest's own switch; the tests are ours only in a top-level build.
if(PROJECT_IS_TOP_LEVEL)
  include(CTest)
endif()
set(HQ_TESTS OFF)
if(PROJECT_IS_TOP_LEVEL AND BUILD_TESTING)
  set(HQ_TESTS ON)
endif()

# The tests and the benchmarks drive the library through the command and the
# simulated camera.
if((HQ_TESTS OR HARNOQUISTEL_BENCH) AND NOT (HARNOQUISTEL_BUILD_SIM AND HARNOQUISTEL_BUILD_CLI))
  message(FATAL_ERROR "The tests and the benchmarks need the command and the simulator: "
    "turn on HARNOQUISTEL_BUILD_SIM and HARNOQUISTEL_BUILD_CLI, or configure with -DBUILD_TESTING=OFF")
endif()

add_compile_options(-Wall -Wextra)
if(HARNOQUISTEL_WERROR)
  add_compile_options(-Werror)
endif()
