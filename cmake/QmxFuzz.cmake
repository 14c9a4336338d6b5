# Fuzz targets and the fuzz configuration.
#
# Every fuzz entry point (LLVMFuzzerTestOneInput) is built twice:
#  - always, as a replay program that runs its corpus folder once, with any
#    compiler; CTest runs it as "<name>_replay";
#  - in the fuzz configuration (-DQMX_FUZZ=ON, clang), as a libFuzzer program
#    "<name>". Then every object of the build carries the coverage and
#    comparison instrumentation (-fsanitize=fuzzer-no-link), not only the
#    harness: the fuzzer is guided by the readers and parsers under test.
# scripts/fuzz.sh builds the configuration and runs each target in turn; it
# finds them in ${CMAKE_BINARY_DIR}/fuzz-targets.txt ("name program corpus").

option(QMX_FUZZ "Build the libFuzzer targets with the whole build instrumented for coverage (clang only)" OFF)

if(QMX_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang" OR NOT CMAKE_C_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "QMX_FUZZ needs clang: configure with -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++")
  endif()
  if(NOT QMX_SANITIZE)
    # The sanitizer run-time also supplies the coverage callbacks that the
    # programs other than the fuzz targets (replays, tests) need to link.
    message(FATAL_ERROR "QMX_FUZZ needs QMX_SANITIZE=ON")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()

set(QMX_FUZZ_REPLAY_MAIN ${CMAKE_CURRENT_LIST_DIR}/../tests/support/fuzz_replay_main.cpp)

# qmx_add_fuzz_target(name SOURCES ... LIBS ... CORPUS folder [LABELS ...] [TIMEOUT s])
function(qmx_add_fuzz_target name)
  cmake_parse_arguments(F "" "CORPUS;TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  if(NOT F_CORPUS)
    message(FATAL_ERROR "qmx_add_fuzz_target(${name}): CORPUS is required")
  endif()
  get_filename_component(corpus ${F_CORPUS} ABSOLUTE BASE_DIR ${CMAKE_CURRENT_SOURCE_DIR})
  if(NOT F_TIMEOUT)
    set(F_TIMEOUT 120)
  endif()

  add_executable(${name}_replay ${F_SOURCES} ${QMX_FUZZ_REPLAY_MAIN})
  qmx_target_warnings(${name}_replay)
  target_link_libraries(${name}_replay PRIVATE ${F_LIBS})
  add_test(NAME ${name}_replay COMMAND ${name}_replay ${corpus})
  set_tests_properties(${name}_replay PROPERTIES
    LABELS "fuzz;${F_LABELS}" TIMEOUT ${F_TIMEOUT}
    ENVIRONMENT "ASAN_OPTIONS=detect_leaks=1:abort_on_error=0;UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1")

  if(QMX_FUZZ)
    add_executable(${name} ${F_SOURCES})
    qmx_target_warnings(${name})
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_libraries(${name} PRIVATE ${F_LIBS})
    set_property(GLOBAL APPEND PROPERTY QMX_FUZZ_TARGETS "${name} $<TARGET_FILE:${name}> ${corpus}")
    get_property(deferred GLOBAL PROPERTY QMX_FUZZ_MANIFEST_DEFERRED)
    if(NOT deferred)
      set_property(GLOBAL PROPERTY QMX_FUZZ_MANIFEST_DEFERRED TRUE)
      cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL _qmx_write_fuzz_manifest)
    endif()
  endif()
endfunction()

# Writes the list of libFuzzer programs once every folder has been read.
function(_qmx_write_fuzz_manifest)
  get_property(lines GLOBAL PROPERTY QMX_FUZZ_TARGETS)
  list(JOIN lines "\n" content)
  file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/fuzz-targets.txt CONTENT "${content}\n")
endfunction()
