# add_gtest(NAME SOURCES a.cpp b.cpp LIBS lib1 lib2 [LABELS l1] [ENV K=V ...])
# Builds a GoogleTest executable into build/tests and registers each of its
# test cases with ctest.  Tests run with the offscreen Qt platform and with
# TEST_BIN_DIR pointing at build/bin, where the programs and tools are.
include(GoogleTest)

function(add_gtest name)
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS;LABELS;ENV" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main Threads::Threads)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${TEST_OUTPUT_DIRECTORY})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    PROPERTIES
      TIMEOUT ${T_TIMEOUT}
      LABELS "${T_LABELS}"
      ENVIRONMENT "QT_QPA_PLATFORM=offscreen;TEST_BIN_DIR=${CMAKE_BINARY_DIR}/bin;TEST_SOURCE_DIR=${CMAKE_SOURCE_DIR};${T_ENV}")
endfunction()

# add_bench(NAME SOURCES ... LIBS ...): a Google Benchmark program, run by `make bench`.
function(add_bench name)
  if(NOT BUILD_BENCHMARKS)
    return()
  endif()
  cmake_parse_arguments(B "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${B_SOURCES})
  target_link_libraries(${name} PRIVATE ${B_LIBS} benchmark::benchmark Threads::Threads)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
endfunction()
