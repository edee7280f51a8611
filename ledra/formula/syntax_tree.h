// The tree a formula is parsed into, and from which it is evaluated,
// encoded into its compiled form and turned back into text.
#ifndef LEDRA_FORMULA_SYNTAX_TREE_H_
#define LEDRA_FORMULA_SYNTAX_TREE_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ledra/formula/formula_value.h"

namespace ledra {

// Nesting deeper than this (parentheses, operators, arguments) is refused
// when a formula is compiled or a compiled formula is read, so that
// evaluating it cannot exhaust the stack.
inline constexpr int kFormulaMaxDepth = 200;

// Node kinds. The numbers are those of the compiled form: never reuse one.
enum class NodeKind : uint8_t {
  kConstant = 1,    // a text, number or date-time literal; `constant`
  kKeyword = 2,     // [Compose]: `text` is the word between the brackets
  kName = 3,        // an item or temporary variable: `text`
  kUnary = 4,       // `op`, one child
  kBinary = 5,      // `op`, two children
  kList = 6,        // a : b : c, children in order
  kCall = 7,        // @function `function`, children are the arguments
  kAssign = 8,      // `op` AssignKind, `text` the name, one child
  kSelect = 9,      // SELECT, one child
  kRem = 10,        // REM, `text` the remark
};

// Operators. The numbers are those of the compiled form.
enum class Op : uint8_t {
  kNegate = 1,
  kNot = 2,
  kMultiply = 3,
  kDivide = 4,
  kAdd = 5,
  kSubtract = 6,
  kEqual = 7,
  kNotEqual = 8,
  kLess = 9,
  kGreater = 10,
  kLessEqual = 11,
  kGreaterEqual = 12,
  kAnd = 13,
  kOr = 14,
  kPermutedEqual = 15,
  kPermutedNotEqual = 16,
  kPermutedLess = 17,
  kPermutedGreater = 18,
  kPermutedLessEqual = 19,
  kPermutedGreaterEqual = 20,
  kPermutedAdd = 21,
  kPermutedMultiply = 22,
  kPermutedDivide = 23,
  kNotEqualAlt = 24,  // <> (kept apart so that the text comes back as written)
};

enum class AssignKind : uint8_t {
  kTemporary = 1,    // name := value
  kField = 2,        // FIELD name := value
  kDefault = 3,      // DEFAULT name := value
  kEnvironment = 4,  // ENVIRONMENT name := value
};

struct Node {
  NodeKind kind = NodeKind::kConstant;
  uint8_t op = 0;             // Op or AssignKind
  uint16_t function = 0;      // index into the function table (kCall)
  uint16_t height = 1;        // 1 + the greatest height of the children
  bool assigns = false;       // the subtree assigns a variable, item or environment string
  int32_t slot = -1;          // temporary variable slot (kName, kAssign)
  uint32_t position = 0;      // 1-based byte offset into the formula text
  std::string text;           // name, keyword or remark
  FormulaValue constant;      // kConstant
  std::vector<std::unique_ptr<Node>> children;
};

// A compiled formula: its statements in order.
struct Program {
  std::vector<std::unique_ptr<Node>> statements;
  int slot_count = 0;         // temporary variables
  bool has_select = false;
};

// Gives every temporary variable a slot and every name that refers to one
// (textually after an assignment to it) that slot. Run after parsing and
// after reading a compiled form.
void ResolveNames(Program* program);

}  // namespace ledra

#endif  // LEDRA_FORMULA_SYNTAX_TREE_H_
