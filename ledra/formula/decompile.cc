// Turning a compiled formula back into text. Parentheses are written only
// where precedence needs them; numbers keep every digit needed to read
// back the same value.
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "ledra/formula/compiled_form.h"
#include "ledra/formula/function_table.h"

namespace ledra {
namespace {

// Binding strength, loosest first; what the parser's levels give.
enum Precedence : int { kOr = 1, kAnd, kCompare, kAdditive, kTerm, kUnary, kList, kPrimary };

int PrecedenceOf(const Node& node) {
  switch (node.kind) {
    case NodeKind::kUnary: return kUnary;
    case NodeKind::kList: return kList;
    case NodeKind::kBinary:
      switch (static_cast<Op>(node.op)) {
        case Op::kOr: return kOr;
        case Op::kAnd: return kAnd;
        case Op::kAdd: case Op::kSubtract: case Op::kPermutedAdd: return kAdditive;
        case Op::kMultiply: case Op::kDivide: case Op::kPermutedMultiply:
        case Op::kPermutedDivide:
          return kTerm;
        default: return kCompare;
      }
    case NodeKind::kConstant:
      // A negative number reads back as a constant only where a unary
      // minus may stand.
      if (node.constant.type == FormulaType::kNumber && std::signbit(node.constant.numbers[0])) {
        return kUnary;
      }
      return kPrimary;
    default: return kPrimary;
  }
}

const char* Spelling(Op op) {
  switch (op) {
    case Op::kNegate: return "-";
    case Op::kNot: return "!";
    case Op::kMultiply: return "*";
    case Op::kDivide: return "/";
    case Op::kAdd: return "+";
    case Op::kSubtract: return "-";
    case Op::kEqual: return "=";
    case Op::kNotEqual: return "!=";
    case Op::kNotEqualAlt: return "<>";
    case Op::kLess: return "<";
    case Op::kGreater: return ">";
    case Op::kLessEqual: return "<=";
    case Op::kGreaterEqual: return ">=";
    case Op::kAnd: return "&";
    case Op::kOr: return "|";
    case Op::kPermutedEqual: return "*=";
    case Op::kPermutedNotEqual: return "*!=";
    case Op::kPermutedLess: return "*<";
    case Op::kPermutedGreater: return "*>";
    case Op::kPermutedLessEqual: return "*<=";
    case Op::kPermutedGreaterEqual: return "*>=";
    case Op::kPermutedAdd: return "*+";
    case Op::kPermutedMultiply: return "**";
    case Op::kPermutedDivide: return "*/";
  }
  return "?";
}

std::string NumberText(double number) {
  char buffer[64];
  for (int digits = 15; digits <= 17; ++digits) {
    std::snprintf(buffer, sizeof buffer, "%.*g", digits, number);
    if (std::strtod(buffer, nullptr) == number) break;
  }
  return buffer;
}

std::string DatetimeText(const Datetime& time) {
  std::string text = DatetimeFormat(time);
  const int hundredths = DatetimeSplit(time).hundredths;
  if (time.has_time && hundredths != 0) {
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, ".%02d", hundredths);
    text += buffer;
  }
  return "[" + text + "]";
}

std::string Quoted(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') out.push_back('\\');
    out.push_back(c);
  }
  out.push_back('"');
  return out;
}

void Write(const Node& node, std::string* out);

void WriteOperand(const Node& node, bool parenthesize, std::string* out) {
  if (parenthesize) out->push_back('(');
  Write(node, out);
  if (parenthesize) out->push_back(')');
}

void Write(const Node& node, std::string* out) {
  switch (node.kind) {
    case NodeKind::kConstant:
      switch (node.constant.type) {
        case FormulaType::kText: *out += Quoted(node.constant.texts[0]); break;
        case FormulaType::kNumber: *out += NumberText(node.constant.numbers[0]); break;
        case FormulaType::kDatetime: *out += DatetimeText(node.constant.datetimes[0]); break;
        case FormulaType::kError: break;
      }
      return;
    case NodeKind::kKeyword: *out += "[" + node.text + "]"; return;
    case NodeKind::kName: *out += node.text; return;
    case NodeKind::kUnary: {
      *out += Spelling(static_cast<Op>(node.op));
      const Node& operand = *node.children[0];
      // "- -5" rather than "--5", and a negative constant in parentheses
      // so that it is not folded into its own negation.
      const bool negative_constant = PrecedenceOf(operand) == kUnary &&
                                     operand.kind == NodeKind::kConstant;
      if (operand.kind == NodeKind::kUnary) out->push_back(' ');
      WriteOperand(operand, PrecedenceOf(operand) < kUnary || negative_constant, out);
      return;
    }
    case NodeKind::kBinary: {
      const int mine = PrecedenceOf(node);
      const Node& left = *node.children[0];
      const Node& right = *node.children[1];
      WriteOperand(left, PrecedenceOf(left) < mine, out);
      *out += " ";
      *out += Spelling(static_cast<Op>(node.op));
      *out += " ";
      WriteOperand(right, PrecedenceOf(right) <= mine, out);
      return;
    }
    case NodeKind::kList:
      for (size_t i = 0; i < node.children.size(); ++i) {
        const Node& element = *node.children[i];
        if (i > 0) out->push_back(':');
        const int precedence = PrecedenceOf(element);
        // After a ':' a negative number reads as one element.
        const bool bare_negative = i > 0 && element.kind == NodeKind::kConstant;
        WriteOperand(element, precedence < kPrimary && !bare_negative, out);
      }
      return;
    case NodeKind::kCall:
      *out += FormulaFunctionAt(node.function).name;
      if (!node.children.empty()) {
        out->push_back('(');
        for (size_t i = 0; i < node.children.size(); ++i) {
          if (i > 0) out->push_back(';');
          Write(*node.children[i], out);
        }
        out->push_back(')');
      }
      return;
    case NodeKind::kAssign: {
      switch (static_cast<AssignKind>(node.op)) {
        case AssignKind::kTemporary: break;
        case AssignKind::kField: *out += "FIELD "; break;
        case AssignKind::kDefault: *out += "DEFAULT "; break;
        case AssignKind::kEnvironment: *out += "ENVIRONMENT "; break;
      }
      *out += node.text + " := ";
      Write(*node.children[0], out);
      return;
    }
    case NodeKind::kSelect:
      *out += "SELECT ";
      Write(*node.children[0], out);
      return;
    case NodeKind::kRem: *out += "REM " + Quoted(node.text); return;
  }
}

}  // namespace

std::string FormulaDecompile(const Program& program) {
  std::string out;
  for (size_t i = 0; i < program.statements.size(); ++i) {
    if (i > 0) out.push_back(';');
    Write(*program.statements[i], &out);
  }
  return out;
}

}  // namespace ledra
