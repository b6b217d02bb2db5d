# Helpers shared by the module CMakeLists files.

# Adds every direct subdirectory of DIR that has a CMakeLists.txt, in name order.
function(tidewell_add_children dir)
  file(GLOB children LIST_DIRECTORIES true RELATIVE ${dir} ${dir}/*)
  list(SORT children)
  foreach(child IN LISTS children)
    if(IS_DIRECTORY ${dir}/${child} AND EXISTS ${dir}/${child}/CMakeLists.txt)
      add_subdirectory(${dir}/${child})
    endif()
  endforeach()
endfunction()

# tidewell_test(NAME SOURCES a.cpp b.cpp LIBS x y LABELS unit [TIMEOUT s] [WINDOWS])
# One GoogleTest executable registered with CTest, test by test. WINDOWS: the
# test is also built in the Windows build, where it runs under Wine as one
# CTest test (a Wine start per case would cost more than the cases).
function(tidewell_test name)
  cmake_parse_arguments(T "WINDOWS" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main Threads::Threads)
  if(WIN32 AND NOT T_WINDOWS)
    # Defined, so that the test's own settings apply, but neither built nor run.
    return()
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  if(NOT T_LABELS)
    set(T_LABELS unit)
  endif()
  if(WIN32)
    tidewell_wine_test(${name} COMMAND ${name} LABELS ${T_LABELS} TIMEOUT ${T_TIMEOUT})
    return()
  endif()
  include(GoogleTest)
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
    PROPERTIES LABELS "${T_LABELS}" TIMEOUT ${T_TIMEOUT})
endfunction()

# tidewell_fuzzer(NAME SOURCES a.cpp LIBS x): a libFuzzer target, built with TIDEWELL_FUZZ.
function(tidewell_fuzzer name)
  cmake_parse_arguments(F "" "" "SOURCES;LIBS" ${ARGN})
  if(NOT TIDEWELL_FUZZ)
    return()
  endif()
  add_executable(${name} ${F_SOURCES})
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_libraries(${name} PRIVATE ${F_LIBS})
  set_property(GLOBAL APPEND PROPERTY TIDEWELL_FUZZERS ${name})
endfunction()

# tidewell_module(NAME [RECURSE] DEPS a b): a static library of every .cpp file
# of the current directory (and its subdirectories with RECURSE); an interface
# library while the module has no sources yet.
function(tidewell_module name)
  cmake_parse_arguments(M "RECURSE" "" "DEPS" ${ARGN})
  if(M_RECURSE)
    file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  else()
    file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  endif()
  if(sources)
    add_library(${name} STATIC ${sources})
    target_link_libraries(${name} PUBLIC ${M_DEPS} Threads::Threads)
  else()
    add_library(${name} INTERFACE)
    target_link_libraries(${name} INTERFACE ${M_DEPS} Threads::Threads)
  endif()
endfunction()
