// The @functions the language knows: name, argument counts and how the
// evaluator calls each one. The compiled form names a function by its
// name, so the table's order may change between versions.
#ifndef LEDRA_FORMULA_FUNCTION_TABLE_H_
#define LEDRA_FORMULA_FUNCTION_TABLE_H_

#include <cstdint>
#include <string_view>
#include <vector>

#include "ledra/formula/formula_value.h"

namespace ledra {

class Evaluator;
struct Node;

// What a built-in receives: the evaluator (document, options, lazy
// evaluation of arguments), the call node and the evaluated arguments.
struct CallFrame {
  Evaluator& evaluator;
  const Node& call;
  std::vector<FormulaValue>& args;

  uint32_t position() const;
  FormulaValue Error(const char* message) const;
};

using BuiltinHandler = FormulaValue (*)(CallFrame& frame);

enum FunctionFlags : uint8_t {
  kFunctionEager = 0,
  kFunctionLazy = 1,        // arguments are not evaluated before the call
  kFunctionTakesErrors = 2, // error arguments are handed in, not passed on
  kFunctionOddArgs = 4,     // @If: condition/value pairs and an else value
  kFunctionNameArg = 8,     // @IsAvailable: the argument is an item name
};

inline constexpr int kFunctionAnyArgs = 255;

struct FunctionInfo {
  const char* name;  // with the '@', in its usual spelling
  uint8_t min_args;
  uint8_t max_args;  // kFunctionAnyArgs: no limit
  uint8_t flags;
  BuiltinHandler handler;
};

// Finds a function by name, letter case ignored ("@uppercase"). Returns
// false when there is none.
[[nodiscard]] bool FormulaFindFunction(std::string_view name, uint16_t* index);
const FunctionInfo& FormulaFunctionAt(uint16_t index);
size_t FormulaFunctionCount();

}  // namespace ledra

#endif  // LEDRA_FORMULA_FUNCTION_TABLE_H_
