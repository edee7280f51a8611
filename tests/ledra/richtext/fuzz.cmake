# The rich-text fuzz target: records, markup and image streams. Included
# from tests/ledra/CMakeLists.txt; built only in the clang fuzz build.
if(CORVANE_FUZZ)
  corvane_fuzzer(richtext_fuzz SOURCES ${CMAKE_SOURCE_DIR}/tests/fuzz/richtext_fuzz.cc
                 LIBS corvane_ledra)
endif()
