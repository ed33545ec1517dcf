# korvo_add_test(NAME SOURCES a.cpp b.cpp LIBS lib1 lib2 [GUI] [SHARDS N])
# One test executable per group of related tests; GUI tests run on the offscreen platform.
# SHARDS N runs it as N tests (NAME_1 ... NAME_N), each with every N-th case (GoogleTest's
# sharding), so that a group that mostly waits on instruments' time-outs does not hold up the rest.
function(korvo_add_test name)
  cmake_parse_arguments(T "GUI" "SHARDS" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  set(env "QT_QPA_PLATFORM=offscreen")
  if(T_GUI)
    # Qt and fontconfig keep process-lifetime allocations that LeakSanitizer reports as leaks.
    list(APPEND env "ASAN_OPTIONS=detect_leaks=0")
  endif()
  if(NOT T_SHARDS)
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "${env}" TIMEOUT 300)
    return()
  endif()
  math(EXPR last "${T_SHARDS} - 1")
  foreach(index RANGE ${last})
    math(EXPR number "${index} + 1")
    add_test(NAME ${name}_${number} COMMAND ${name})
    set_tests_properties(${name}_${number} PROPERTIES TIMEOUT 300 ENVIRONMENT
      "${env};GTEST_TOTAL_SHARDS=${T_SHARDS};GTEST_SHARD_INDEX=${index}")
  endforeach()
endfunction()
