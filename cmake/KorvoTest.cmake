# The headers nearly every test parses (GoogleTest and the standard library), compiled once into a
# precompiled header that every test program reuses. All of them build position-independent, as the
# Qt libraries need, so that one header fits all.
add_library(korvo_test_pch OBJECT ${CMAKE_SOURCE_DIR}/tests/support/pch_unit.cpp)
target_link_libraries(korvo_test_pch PRIVATE GTest::gtest GTest::gmock)
set_target_properties(korvo_test_pch PROPERTIES POSITION_INDEPENDENT_CODE ON AUTOMOC OFF)
target_precompile_headers(korvo_test_pch PRIVATE
  <gtest/gtest.h> <gmock/gmock.h>
  <algorithm> <chrono> <cmath> <filesystem> <fstream> <functional> <map> <memory> <optional> <set>
  <sstream> <string> <thread> <vector>)

# korvo_add_test(NAME SOURCES a.cpp b.cpp LIBS lib1 lib2 [GUI])
# One test executable per group of related tests; GUI tests run on the offscreen platform.
function(korvo_add_test name)
  cmake_parse_arguments(T "GUI" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  # -fPIC after CMake's -fPIE, as the Qt libraries add it, so that every test matches the header.
  set_target_properties(${name} PROPERTIES POSITION_INDEPENDENT_CODE ON)
  target_compile_options(${name} PRIVATE -fPIC)
  target_precompile_headers(${name} REUSE_FROM korvo_test_pch)
  add_test(NAME ${name} COMMAND ${name})
  set(env "QT_QPA_PLATFORM=offscreen")
  if(T_GUI)
    # Qt and fontconfig keep process-lifetime allocations that LeakSanitizer reports as leaks.
    list(APPEND env "ASAN_OPTIONS=detect_leaks=0")
  endif()
  set_tests_properties(${name} PROPERTIES ENVIRONMENT "${env}" TIMEOUT 300)
endfunction()
