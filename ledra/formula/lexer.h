// The formula lexer: turns formula text into tokens. Text literals are
// "quoted" (a backslash takes the next character as it is) or {braced};
// numbers are decimal with an optional fraction and exponent; a bracketed
// [1/1/95] is a date-time, a bracketed word such as [Compose] a keyword.
#ifndef LEDRA_FORMULA_LEXER_H_
#define LEDRA_FORMULA_LEXER_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "ledra/datetime.h"
#include "ledra/formula/syntax_tree.h"

namespace ledra {

enum class TokenKind : uint8_t {
  kEnd,
  kText,
  kNumber,
  kDatetime,
  kKeyword,     // [Compose]
  kName,        // Form, $Title, SELECT
  kFunction,    // @Now
  kLeftParen,
  kRightParen,
  kSemicolon,
  kColon,
  kAssign,      // :=
  kOperator,    // `op`
};

struct Token {
  TokenKind kind = TokenKind::kEnd;
  Op op = Op::kAdd;
  uint32_t position = 0;  // 1-based byte offset of the token's first byte
  std::string text;       // text literal, name, keyword, function name (with '@')
  double number = 0;
  Datetime datetime;
};

struct FormulaSyntaxError {
  std::string message;
  uint32_t position = 0;
};

// Splits the whole formula into tokens, ending with a kEnd token. Returns
// false with *error set at the first thing that is not a token.
[[nodiscard]] bool FormulaTokenize(std::string_view source, std::vector<Token>* tokens,
                                   FormulaSyntaxError* error);

// True for the bytes that may stand in a name after its first byte.
bool FormulaIsNameByte(unsigned char c);

}  // namespace ledra

#endif  // LEDRA_FORMULA_LEXER_H_
