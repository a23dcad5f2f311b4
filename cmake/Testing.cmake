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
  if(NOT T_LABELS)
    set(T_LABELS unit)
  endif()
  # The test environment is set by a small launcher script that runs the test
  # program (also for discovery), because a list-valued ENVIRONMENT does not
  # survive the discovery script.
  set(launcher ${CMAKE_BINARY_DIR}/test-env/${name}.sh)
  set(body "#!/bin/sh\n")
  foreach(kv "QT_QPA_PLATFORM=offscreen" "TEST_BIN_DIR=${CMAKE_BINARY_DIR}/bin"
             "TEST_SOURCE_DIR=${CMAKE_SOURCE_DIR}" "XDG_RUNTIME_DIR=${CMAKE_BINARY_DIR}/xdg-runtime" ${T_ENV})
    string(APPEND body "export '${kv}'\n")
  endforeach()
  string(APPEND body "mkdir -p \"$XDG_RUNTIME_DIR\" && chmod 700 \"$XDG_RUNTIME_DIR\"\nexec \"$@\"\n")
  file(WRITE ${launcher} "${body}")
  file(CHMOD ${launcher} PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  set_target_properties(${name} PROPERTIES CROSSCOMPILING_EMULATOR ${launcher})
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    PROPERTIES
      TIMEOUT ${T_TIMEOUT}
      LABELS "${T_LABELS}")
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

# add_fuzzer(NAME SOURCES a.cpp ... [SECONDS n])
# A libFuzzer target built with clang++ (-fsanitize=fuzzer,address,undefined)
# straight from its sources, outside the main g++ build, and a ctest test
# that runs it for a bounded time on an empty corpus.  SOURCES must be plain
# C++ (no Qt): the fuzz entry point plus the library sources it exercises.
find_program(CLANGXX_PROGRAM NAMES clang++ clang++-14)
function(add_fuzzer name)
  cmake_parse_arguments(F "" "SECONDS" "SOURCES" ${ARGN})
  if(NOT CLANGXX_PROGRAM)
    message(STATUS "clang++ not found: fuzzer ${name} not built")
    return()
  endif()
  if(NOT F_SECONDS)
    set(F_SECONDS 20)
  endif()
  set(out ${CMAKE_BINARY_DIR}/fuzz/${name})
  set(srcs)
  foreach(s ${F_SOURCES})
    get_filename_component(abs ${s} ABSOLUTE)
    list(APPEND srcs ${abs})
  endforeach()
  add_custom_command(OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/fuzz
    COMMAND ${CLANGXX_PROGRAM} -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined
            -I${CMAKE_SOURCE_DIR} ${srcs} -o ${out}
    DEPENDS ${srcs}
    COMMENT "Building fuzzer ${name} with clang++"
    VERBATIM)
  add_custom_target(${name} ALL DEPENDS ${out})
  add_test(NAME fuzz.${name}
    COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=1
            ${out} -max_total_time=${F_SECONDS} -rss_limit_mb=1024 -print_final_stats=0
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
  set_tests_properties(fuzz.${name} PROPERTIES TIMEOUT 300 LABELS fuzz)
endfunction()
