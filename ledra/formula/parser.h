// The formula parser: statements separated by ';' into a Program.
//
//   statement  := SELECT expr | REM text | FIELD name := expr
//               | DEFAULT name := expr | ENVIRONMENT name := expr
//               | name := expr | expr
//   expr       := and { '|' and }
//   and        := compare { '&' compare }
//   compare    := additive { (= != <> < > <= >= *= *!= *<> *< *> *<= *>=) additive }
//   additive   := term { (+ - *+) term }
//   term       := unary { (* / ** */) unary }
//   unary      := ('-' | '!') unary | list
//   list       := element { ':' element }
//   element    := primary | '-' number
//   primary    := text | number | [date-time] | [keyword] | name
//               | @function [ '(' [ argument { ';' argument } ] ')' ] | '(' expr ')'
//
// Arguments are expressions or assignments (as inside @Do). SELECT, FIELD,
// DEFAULT, ENVIRONMENT and REM are reserved words in any letter case.
#ifndef LEDRA_FORMULA_PARSER_H_
#define LEDRA_FORMULA_PARSER_H_

#include <string_view>

#include "ledra/formula/lexer.h"
#include "ledra/formula/syntax_tree.h"

namespace ledra {

// Parses a formula. Returns false with *error (message and position) for a
// syntax error, an unknown @function, a wrong number of arguments or a
// formula nested too deeply; *program is then left empty.
[[nodiscard]] bool FormulaParse(std::string_view source, Program* program,
                                FormulaSyntaxError* error);

// True when the word (letter case ignored) is one of the reserved words.
bool FormulaIsReservedWord(std::string_view word);

}  // namespace ledra

#endif  // LEDRA_FORMULA_PARSER_H_
