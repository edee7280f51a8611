# Shared build settings and the helpers every folder uses to declare
# libraries, programs, tests, fuzz targets and benchmarks.

# Warnings are errors in the developer and CI builds (scripts/test turns
# this on); a user's or packager's build with another compiler only warns
# (GCC 12 reports a false -Wrestrict inside libstdc++ at -O3).
option(CORVANE_WERROR "Treat warnings as errors" OFF)
add_compile_options(-Wall -Wextra)
if(CORVANE_WERROR)
  add_compile_options(-Werror)
endif()

if(CORVANE_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

if(CORVANE_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "CORVANE_FUZZ needs clang: CC=clang CXX=clang++")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# corvane_library(NAME folder SOURCES ... [LIBS ...]): the folder's library,
# named corvane_<folder>.
function(corvane_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_link_libraries(${name} PUBLIC ${ARG_LIBS} Threads::Threads)
endfunction()

# corvane_program(NAME SOURCES ... [LIBS ...]): a program; it lands in the
# build folder's bin/ so the install step finds every program in one place.
function(corvane_program name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} Threads::Threads)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
endfunction()

# corvane_test(NAME [CLASSIC] SOURCES ... [LIBS ...]): a GoogleTest
# executable whose cases ctest runs one by one. Tests find the build's
# programs through CORVANE_BIN_DIR and the source tree through
# CORVANE_SOURCE_DIR. CLASSIC runs them with CORVANE_CLASSIC_URLS=1: the
# replies keep the exact bytes the handlers write (tests that compare them).
function(corvane_test name)
  cmake_parse_arguments(ARG "CLASSIC" "" "SOURCES;LIBS" ${ARGN})
  if(CORVANE_FUZZ)
    return()
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main Threads::Threads)
  target_compile_definitions(${name} PRIVATE
    CORVANE_BIN_DIR="${CMAKE_BINARY_DIR}/bin"
    CORVANE_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
  set(classic_urls "CORVANE_CLASSIC_URLS=unset:")
  if(ARG_CLASSIC)
    set(classic_urls "CORVANE_CLASSIC_URLS=set:1")
  endif()
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT 300 ENVIRONMENT "CORVANE_TEST=1"
               ENVIRONMENT_MODIFICATION "${classic_urls}")
endfunction()

# corvane_fuzzer(NAME SOURCES ... [LIBS ...]): a libFuzzer target, built only
# in the clang fuzz build (scripts/fuzz). The target corvane_fuzzers builds
# them all; its corpus lives in tests/fuzz/corpus/NAME/.
if(CORVANE_FUZZ)
  add_custom_target(corvane_fuzzers)
endif()
function(corvane_fuzzer name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  if(NOT CORVANE_FUZZ)
    return()
  endif()
  add_dependencies(corvane_fuzzers ${name})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} Threads::Threads)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
endfunction()

# corvane_bench(NAME SOURCES ... [LIBS ...]): a benchmark program; it prints
# its figures and a ratio against a baseline measured in the same run.
function(corvane_bench name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  if(CORVANE_FUZZ OR CORVANE_SANITIZE)
    return()
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} Threads::Threads)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
endfunction()
