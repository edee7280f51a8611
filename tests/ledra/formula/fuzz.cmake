# The formula language's libFuzzer target (lexer, parser, evaluator and the
# compiled form): included from tests/ledra/CMakeLists.txt.
if(CORVANE_FUZZ AND TARGET corvane_ledra)
  corvane_fuzzer(formula_fuzz SOURCES ${CMAKE_SOURCE_DIR}/tests/fuzz/formula_fuzz.cc
                 LIBS corvane_ledra)
endif()
