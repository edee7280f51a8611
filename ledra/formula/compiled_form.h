// The compiled form of a formula: the bytes an item of type 1536 holds
// (a replica's "$ReplFormula", an action's formula), and the way back from
// a compiled formula to text.
//
// Layout (all integers little-endian; "varint" is 7 bits a byte, low
// group first, high bit set on every byte but the last):
//
//   OFFSET  SIZE    CONTENT
//   0       2       magic "LF"
//   2       1       format version, 1
//   3       varint  number of statements
//   ...             the statements, each a node
//
// A node is its kind byte (NodeKind), its position in the source text
// (varint, 1-based byte offset) and then, by kind:
//
//   kConstant  type byte (0 text, 1 number, 2 date-time), then
//              text: varint length, bytes;
//              number: 8 bytes IEEE 754 double;
//              date-time: 8 bytes ticks (signed), 1 byte flags
//                         (0x01 has a date, 0x02 has a time)
//   kKeyword   varint length, bytes (the word without brackets)
//   kName      varint length, bytes
//   kUnary     op byte (Op), operand node
//   kBinary    op byte (Op), left node, right node
//   kList      varint count (2 or more), element nodes
//   kCall      varint length, function name bytes ("@Now"), varint count,
//              argument nodes
//   kAssign    assign-kind byte (AssignKind), varint length, name bytes,
//              value node
//   kSelect    value node
//   kRem       varint length, remark bytes
//
// Functions are stored by name, so the function table may be reordered.
// The source positions are kept so that an error found when the compiled
// formula is evaluated still names where in the formula it arose.
#ifndef LEDRA_FORMULA_COMPILED_FORM_H_
#define LEDRA_FORMULA_COMPILED_FORM_H_

#include <string>
#include <string_view>

#include "ledra/formula/syntax_tree.h"

namespace ledra {

inline constexpr uint8_t kCompiledFormulaVersion = 1;

std::string FormulaEncode(const Program& program);

// Reads a compiled formula. Returns false with *message set when the bytes
// are not a well-formed compiled formula of this version (unknown kinds,
// operators or functions, wrong argument counts, nesting beyond
// kFormulaMaxDepth, truncation or trailing bytes); *program is then empty.
[[nodiscard]] bool FormulaDecode(std::string_view bytes, Program* program, std::string* message);

// The formula as text that compiles to the same tree. Arguments and
// statements are separated by ";" without blanks ("@Command([Compose];\"Form\")").
std::string FormulaDecompile(const Program& program);

}  // namespace ledra

#endif  // LEDRA_FORMULA_COMPILED_FORM_H_
