# The Windows build (cross-built with MinGW-w64, see mingw-w64-x86_64.cmake):
# the core, the headless front end and tidewell-tool; no window, no simulated
# handset, no benchmarks. Its tests run under Wine in a prefix of the build's
# own (build/<name>/wineprefix), made by the first test of a run.

set(TIDEWELL_UI OFF CACHE BOOL "Build the Qt 6 window" FORCE)
# Windows 7 API level: CancelIoEx, message-only windows, SetupAPI.
add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601 UNICODE _UNICODE)

# JSON (header-only, Debian's nlohmann-json3-dev): the host's headers, seen
# through a directory that holds only them, so that no other host header is
# found by the cross compiler.
set(TIDEWELL_JSON_HEADERS /usr/include/nlohmann CACHE PATH "nlohmann/json headers (nlohmann-json3-dev)")
if(NOT EXISTS ${TIDEWELL_JSON_HEADERS}/json.hpp)
  message(FATAL_ERROR "nlohmann/json not found in ${TIDEWELL_JSON_HEADERS} (package nlohmann-json3-dev)")
endif()
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/json-include)
file(CREATE_LINK ${TIDEWELL_JSON_HEADERS} ${CMAKE_BINARY_DIR}/json-include/nlohmann SYMBOLIC)
add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
target_include_directories(nlohmann_json::nlohmann_json SYSTEM INTERFACE ${CMAKE_BINARY_DIR}/json-include)

# GoogleTest from Debian's googletest sources, built with the cross compiler.
set(TIDEWELL_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources (Debian's googletest)")
if(NOT EXISTS ${TIDEWELL_GTEST_SOURCE}/CMakeLists.txt)
  message(FATAL_ERROR "GoogleTest sources not found in ${TIDEWELL_GTEST_SOURCE} (package googletest)")
endif()
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(${TIDEWELL_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)

# Wine runs the tests: one private prefix per build directory, quiet, without
# the Mono and Gecko installers. The Linux build's helpers (the simulated
# handset, the pty shim, the test rig) come from TIDEWELL_HOST_BUILD_DIR.
find_program(TIDEWELL_WINE wine)
set(TIDEWELL_HOST_BUILD_DIR "" CACHE PATH "The Linux build (its helpers serve the Wine tests)")
set(TIDEWELL_WINE_PTYSHIM ${TIDEWELL_HOST_BUILD_DIR}/wine/libtidewell_wine_ptyshim.so)
set(TIDEWELL_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
set(TIDEWELL_WINE_ENV WINEPREFIX=${TIDEWELL_WINEPREFIX} WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=)
if(TIDEWELL_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_COMMAND} -E env ${TIDEWELL_WINE_ENV} ${TIDEWELL_WINE})
endif()

# tidewell_wine_test(NAME COMMAND target-or-program args... [LABELS l] [TIMEOUT s]
#                    [RESOURCE_LOCK r]): a CTest test in the Wine prefix, built
# into the windows_tests target. The prefix is made first (fixture wine_prefix).
function(tidewell_wine_test name)
  cmake_parse_arguments(W "" "TIMEOUT;RESOURCE_LOCK" "COMMAND;LABELS" ${ARGN})
  add_test(NAME ${name} COMMAND ${W_COMMAND})
  set_tests_properties(${name} PROPERTIES LABELS "wine;${W_LABELS}" TIMEOUT ${W_TIMEOUT}
    FIXTURES_REQUIRED wine_prefix ENVIRONMENT "${TIDEWELL_WINE_ENV}")
  if(W_RESOURCE_LOCK)
    set_tests_properties(${name} PROPERTIES RESOURCE_LOCK ${W_RESOURCE_LOCK})
  endif()
  list(GET W_COMMAND 0 program)
  if(TARGET ${program})
    set_property(GLOBAL APPEND PROPERTY TIDEWELL_WINDOWS_TESTS ${program})
  endif()
endfunction()

# The prefix: made once per build directory (wineboot), its server kept
# running through the run (with the pty shim, see wineprefix.sh), stopped at the end.
add_test(NAME wine_prefix_up COMMAND ${CMAKE_COMMAND} -E env ${TIDEWELL_WINE_ENV}
  TIDEWELL_WINE_PTYSHIM=${TIDEWELL_WINE_PTYSHIM} sh ${PROJECT_SOURCE_DIR}/tests/platform/win32/wineprefix.sh up $<TARGET_FILE:tidewell-wine-helper>)
set_tests_properties(wine_prefix_up PROPERTIES FIXTURES_SETUP wine_prefix LABELS wine TIMEOUT 300)
add_test(NAME wine_prefix_down COMMAND ${CMAKE_COMMAND} -E env ${TIDEWELL_WINE_ENV}
  sh ${PROJECT_SOURCE_DIR}/tests/platform/win32/wineprefix.sh down)
set_tests_properties(wine_prefix_down PROPERTIES FIXTURES_CLEANUP wine_prefix LABELS wine TIMEOUT 60)
