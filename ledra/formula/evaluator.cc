// The formula evaluator: statements, names, assignments, operators and
// calls. Conditions of SELECT, @If, & and | are evaluated as truths, which
// lets the common selection "Form = \"X\" & ..." run without building
// intermediate values; & and | stop at the first operand that decides.
#include "ledra/formula/evaluator.h"

#include <string>

#include "ledra/formula/function_table.h"

namespace ledra {
namespace {

constexpr char kConditionNotNumber[] = "A condition must be a number";
constexpr char kOperandNotNumber[] = "Incorrect data type for operator: number expected";
constexpr char kTooLarge[] = "Value exceeds the size limit of a list";
constexpr char kTooMuchWork[] = "Formula exceeds the work limit of one evaluation";
constexpr char kWriteRefused[] = "Cannot write item";
constexpr char kEnvironmentRefused[] = "Cannot set environment string";

bool IsComparison(Op op) {
  switch (op) {
    case Op::kEqual: case Op::kNotEqual: case Op::kNotEqualAlt: case Op::kLess:
    case Op::kGreater: case Op::kLessEqual: case Op::kGreaterEqual: case Op::kPermutedEqual:
    case Op::kPermutedNotEqual: case Op::kPermutedLess: case Op::kPermutedGreater:
    case Op::kPermutedLessEqual: case Op::kPermutedGreaterEqual:
      return true;
    default:
      return false;
  }
}

uint16_t NowFunction() {
  static const uint16_t kIndex = [] {
    uint16_t index = 0;
    return FormulaFindFunction("@Now", &index) ? index : uint16_t{0xffff};
  }();
  return kIndex;
}

}  // namespace

Evaluator::Evaluator(const Program& program, const FormulaOptions& options)
    : program_(program), options_(options) {}

FormulaValue Evaluator::Run(FormulaDocument* document, bool want_value) {
  document_ = document;
  slots_.assign(static_cast<size_t>(program_.slot_count), FormulaValue());
  assigned_.assign(static_cast<size_t>(program_.slot_count), false);
  selected_ = false;
  stopped_ = false;
  work_ = 0;
  stop_value_ = FormulaValue();
  have_now_ = false;

  FormulaValue last;
  FormulaValue selection_error;
  int selection = 2;  // no SELECT ran yet
  for (const auto& statement : program_.statements) {
    if (stopped_) break;
    switch (statement->kind) {
      case NodeKind::kRem: break;
      case NodeKind::kSelect: {
        const int truth = Truth(*statement->children[0], &selection_error);
        if (stopped_) break;
        selection = truth;
        selected_ = truth == 1;
        break;
      }
      default: last = Eval(*statement); break;
    }
  }
  if (stopped_) {
    selected_ = false;
    if (program_.has_select) {
      FormulaValue error;
      selected_ = TruthOf(stop_value_, 0, &error) == 1;
    }
    return stop_value_;
  }
  if (selection < 0) return selection_error;
  if (selection != 2) return want_value ? FormulaBool(selection == 1) : FormulaValue();
  if (last.size() == 0) last = FormulaEmpty();
  return last;
}

Datetime Evaluator::Now() {
  if (!have_now_) {
    now_value_ = FormulaTime(options_.fixed_now ? options_.now : DatetimeNow());
    have_now_ = true;
  }
  return now_value_.datetimes[0];
}

bool Evaluator::Charge(uint64_t units) {
  work_ += units;
  if (work_ <= kFormulaWorkBudget) return true;
  Stop(FormulaErrorValue(kTooMuchWork, 0));
  return false;
}

void Evaluator::Stop(FormulaValue value) {
  if (stopped_) return;
  stopped_ = true;
  stop_value_ = std::move(value);
}

int Evaluator::TruthOf(const FormulaValue& value, uint32_t position, FormulaValue* error) {
  if (value.IsError()) {
    *error = value;
    return -1;
  }
  if (value.type != FormulaType::kNumber) {
    *error = FormulaErrorValue(kConditionNotNumber, position);
    return -1;
  }
  for (double number : value.numbers) {
    if (number != 0) return 1;
  }
  return 0;
}

int Evaluator::CompareTruth(const Node& node, FormulaValue* error) {
  const Node& left = *node.children[0];
  const Node& right = *node.children[1];
  FormulaValue left_scratch, right_scratch;
  // A right side that assigns could change what a left reference shows.
  const FormulaValue& a = right.assigns ? (left_scratch = Eval(left)) : EvalRef(left, &left_scratch);
  if (stopped_) return 0;
  const FormulaValue& b = EvalRef(right, &right_scratch);
  if (stopped_) return 0;
  const Op op = static_cast<Op>(node.op);
  const bool permuted = op >= Op::kPermutedEqual && op <= Op::kPermutedGreaterEqual;
  if ((permuted || a.size() > 1 || b.size() > 1) &&
      !Charge(permuted ? static_cast<uint64_t>(a.size()) * b.size() : a.size() + b.size())) {
    *error = stop_value_;
    return -1;
  }
  return FormulaCompare(op, a, b, node.position, error);
}

int Evaluator::Truth(const Node& node, FormulaValue* error) {
  if (node.kind == NodeKind::kBinary) {
    const Op op = static_cast<Op>(node.op);
    if (op == Op::kAnd || op == Op::kOr) {
      const int left = Truth(*node.children[0], error);
      if (left < 0 || stopped_) return left;
      if (op == Op::kAnd && left == 0) return 0;
      if (op == Op::kOr && left == 1) return 1;
      return Truth(*node.children[1], error);
    }
    if (IsComparison(op)) return CompareTruth(node, error);
  }
  if (node.kind == NodeKind::kUnary && static_cast<Op>(node.op) == Op::kNot) {
    // !list is element-wise, so it is true when any element is zero.
    FormulaValue scratch;
    const FormulaValue& value = EvalRef(*node.children[0], &scratch);
    if (value.type != FormulaType::kNumber) {
      *error = value.IsError() ? value : FormulaErrorValue(kOperandNotNumber, node.position);
      return -1;
    }
    for (double number : value.numbers) {
      if (number == 0) return 1;
    }
    return 0;
  }
  FormulaValue scratch;
  const FormulaValue& value = EvalRef(node, &scratch);
  return TruthOf(value, node.position, error);
}

const FormulaValue& Evaluator::EvalRef(const Node& node, FormulaValue* scratch) {
  switch (node.kind) {
    case NodeKind::kConstant: return node.constant;
    case NodeKind::kName: {
      if (node.slot >= 0 && assigned_[static_cast<size_t>(node.slot)]) {
        return slots_[static_cast<size_t>(node.slot)];
      }
      const FormulaValue* item = document_->ReadItem(node.text);
      return item != nullptr && item->size() != 0 ? *item : FormulaEmpty();
    }
    case NodeKind::kCall:
      if (node.function == NowFunction()) {
        Now();
        return now_value_;
      }
      break;
    default: break;
  }
  *scratch = Eval(node);
  return *scratch;
}

FormulaValue Evaluator::Eval(const Node& node) {
  if (stopped_) return stop_value_;
  FormulaValue value;
  switch (node.kind) {
    case NodeKind::kConstant: return node.constant;
    case NodeKind::kKeyword: return FormulaText(node.text);
    case NodeKind::kName: return EvalName(node);
    case NodeKind::kUnary: value = EvalUnary(node); break;
    case NodeKind::kBinary: value = EvalBinary(node); break;
    case NodeKind::kList: value = EvalList(node); break;
    case NodeKind::kCall: value = EvalCall(node); break;
    case NodeKind::kAssign: return EvalAssign(node);
    case NodeKind::kSelect: {
      FormulaValue error;
      const int truth = Truth(*node.children[0], &error);
      return truth < 0 ? error : FormulaBool(truth == 1);
    }
    case NodeKind::kRem: return FormulaEmpty();
  }
  if (value.IsError()) return value;
  const size_t bytes = FormulaTextBytes(value);
  if (value.size() > kFormulaMaxElements || bytes > kFormulaMaxTextBytes) {
    return FormulaErrorValue(kTooLarge, node.position);
  }
  if (!Charge(value.size() + bytes)) return stop_value_;
  return value;
}

FormulaValue Evaluator::EvalName(const Node& node) {
  FormulaValue scratch;
  const FormulaValue& value = EvalRef(node, &scratch);
  return &value == &scratch ? std::move(scratch) : value;
}

FormulaValue Evaluator::EvalUnary(const Node& node) {
  FormulaValue value = Eval(*node.children[0]);
  if (value.IsError()) return value;
  if (value.type != FormulaType::kNumber) {
    return FormulaErrorValue(kOperandNotNumber, node.position);
  }
  const bool negate = static_cast<Op>(node.op) == Op::kNegate;
  for (double& number : value.numbers) number = negate ? -number : (number == 0 ? 1 : 0);
  return value;
}

FormulaValue Evaluator::EvalBinary(const Node& node) {
  const Op op = static_cast<Op>(node.op);
  if (op == Op::kAnd || op == Op::kOr || IsComparison(op)) {
    FormulaValue error;
    const int truth = Truth(node, &error);
    if (stopped_) return stop_value_;
    return truth < 0 ? error : FormulaBool(truth == 1);
  }
  const Node& left = *node.children[0];
  const Node& right = *node.children[1];
  FormulaValue left_scratch, right_scratch;
  const FormulaValue& a = right.assigns ? (left_scratch = Eval(left)) : EvalRef(left, &left_scratch);
  const FormulaValue& b = EvalRef(right, &right_scratch);
  if (stopped_) return stop_value_;
  return FormulaArithmetic(op, a, b, node.position);
}

FormulaValue Evaluator::EvalList(const Node& node) {
  FormulaValue result = Eval(*node.children[0]);
  for (size_t i = 1; i < node.children.size(); ++i) {
    if (result.IsError()) return result;
    FormulaValue scratch;
    const FormulaValue& next = EvalRef(*node.children[i], &scratch);
    if (stopped_) return stop_value_;
    if (next.IsError()) return next;
    if (next.type != result.type) {
      return FormulaErrorValue("Incorrect data type for operator", node.children[i]->position);
    }
    if (result.size() + next.size() > kFormulaMaxElements ||
        FormulaTextBytes(result) + FormulaTextBytes(next) > kFormulaMaxTextBytes) {
      return FormulaErrorValue(kTooLarge, node.position);
    }
    result.texts.insert(result.texts.end(), next.texts.begin(), next.texts.end());
    result.numbers.insert(result.numbers.end(), next.numbers.begin(), next.numbers.end());
    result.datetimes.insert(result.datetimes.end(), next.datetimes.begin(), next.datetimes.end());
  }
  return result;
}

FormulaValue Evaluator::EvalCall(const Node& node) {
  const FunctionInfo& info = FormulaFunctionAt(node.function);
  std::vector<FormulaValue> args;
  if (!(info.flags & kFunctionLazy)) {
    args.reserve(node.children.size());
    for (const auto& child : node.children) {
      args.push_back(Eval(*child));
      if (stopped_) return stop_value_;
      if (args.back().IsError() && !(info.flags & kFunctionTakesErrors)) return args.back();
    }
  }
  CallFrame frame{*this, node, args};
  return info.handler(frame);
}

FormulaValue Evaluator::EvalAssign(const Node& node) {
  const auto kind = static_cast<AssignKind>(node.op);
  if (kind == AssignKind::kDefault) {
    const FormulaValue* item = document_->ReadItem(node.text);
    if (item != nullptr) return *item;
  }
  FormulaValue value = Eval(*node.children[0]);
  if (stopped_) return stop_value_;
  switch (kind) {
    case AssignKind::kTemporary:
    case AssignKind::kDefault:
      slots_[static_cast<size_t>(node.slot)] = value;
      assigned_[static_cast<size_t>(node.slot)] = true;
      return value;
    case AssignKind::kField: {
      if (value.IsError()) {
        Stop(value);
        return value;
      }
      std::string message;
      if (!document_->WriteItem(node.text, value, &message)) {
        std::string text = kWriteRefused;
        text += " " + node.text;
        if (!message.empty()) text += ": " + message;
        Stop(FormulaErrorValue(text, node.position));
        return stop_value_;
      }
      return value;
    }
    case AssignKind::kEnvironment: {
      if (value.IsError()) {
        Stop(value);
        return value;
      }
      std::string name = node.text;
      if (name.empty() || name[0] != '$') name = "$" + name;
      if (!document_->SetEnvironment(name, FormulaElementText(value, 0))) {
        Stop(FormulaErrorValue(kEnvironmentRefused, node.position));
        return stop_value_;
      }
      return value;
    }
  }
  return value;
}

uint32_t CallFrame::position() const { return call.position; }

FormulaValue CallFrame::Error(const char* message) const {
  return FormulaErrorValue(message, call.position);
}

}  // namespace ledra
