// The formula parser: recursive descent over the token list, one function
// per precedence level.
#include "ledra/formula/parser.h"

#include <memory>
#include <string>

#include "ledra/formula/function_table.h"

namespace ledra {
namespace {

constexpr char kExpectedValue[] = "Expected a value";
constexpr char kExpectedSemicolon[] = "Expected ';' between statements";
constexpr char kExpectedRightParen[] = "Expected ')'";
constexpr char kExpectedArgumentEnd[] = "Expected ';' or ')' after an argument";
constexpr char kExpectedName[] = "Expected a name";
constexpr char kExpectedAssign[] = "Expected ':='";
constexpr char kExpectedRemark[] = "REM must be followed by a quoted remark";
constexpr char kSelectNotFirst[] = "SELECT may only begin a statement";
constexpr char kReservedWord[] = "Reserved word used as a value";
constexpr char kUnknownFunction[] = "Unknown @function";
constexpr char kTooFewArguments[] = "Too few arguments for @function";
constexpr char kTooManyArguments[] = "Too many arguments for @function";
constexpr char kOddArguments[] = "@If needs a condition and a value for each branch and an else value";
constexpr char kNameArgument[] = "The argument must be an item name";
constexpr char kTooDeep[] = "Formula is nested too deeply";

bool EqualsFolded(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
    if (x != y) return false;
  }
  return true;
}

// -x, with no negative zero (it would print as "0" and come back positive).
double Negated(double x) { return x == 0 ? 0.0 : -x; }

class Parser {
 public:
  Parser(const std::vector<Token>& tokens, FormulaSyntaxError* error)
      : tokens_(tokens), error_(error) {}

  bool ParseProgram(Program* program) {
    for (;;) {
      while (Peek().kind == TokenKind::kSemicolon) ++pos_;
      if (Peek().kind == TokenKind::kEnd) return true;
      std::unique_ptr<Node> statement = Statement(/*top=*/true);
      if (!statement) return false;
      if (statement->kind == NodeKind::kSelect) program->has_select = true;
      program->statements.push_back(std::move(statement));
      const TokenKind next = Peek().kind;
      if (next != TokenKind::kSemicolon && next != TokenKind::kEnd) {
        Fail(kExpectedSemicolon, Peek().position);
        return false;
      }
    }
  }

 private:
  // Counts recursion so that "((((...))))" or "- - - ... 1" cannot exhaust
  // the stack before any node is built.
  class DepthGuard {
   public:
    explicit DepthGuard(Parser* parser) : parser_(parser) { ++parser_->depth_; }
    ~DepthGuard() { --parser_->depth_; }
    // Parentheses and the statement itself add at most one level over the
    // tree's height, so decompiled text of any accepted tree parses.
    bool ok() const { return parser_->depth_ <= kFormulaMaxDepth + 2; }

   private:
    Parser* parser_;
  };

  const Token& Peek(size_t ahead = 0) const {
    const size_t at = pos_ + ahead;
    return at < tokens_.size() ? tokens_[at] : tokens_.back();
  }
  const Token& Take() {
    const Token& token = Peek();
    if (pos_ < tokens_.size() - 1) ++pos_;
    return token;
  }

  std::nullptr_t Fail(const char* message, uint32_t position) {
    if (error_->message.empty()) {
      error_->message = message;
      error_->position = position;
    }
    return nullptr;
  }

  static std::unique_ptr<Node> MakeNode(NodeKind kind, uint32_t position) {
    auto node = std::make_unique<Node>();
    node->kind = kind;
    node->position = position;
    return node;
  }

  bool Adopt(Node* parent, std::unique_ptr<Node> child) {
    const int height = child->height + 1;
    if (height > kFormulaMaxDepth) {
      Fail(kTooDeep, child->position);
      return false;
    }
    if (height > parent->height) parent->height = static_cast<uint16_t>(height);
    parent->children.push_back(std::move(child));
    return true;
  }

  bool IsWord(const Token& token, std::string_view word) const {
    return token.kind == TokenKind::kName && EqualsFolded(token.text, word);
  }

  std::unique_ptr<Node> Statement(bool top) {
    const Token& first = Peek();
    if (first.kind == TokenKind::kName && FormulaIsReservedWord(first.text) &&
        Peek(1).kind == TokenKind::kAssign) {
      return Fail(kReservedWord, first.position);
    }
    if (IsWord(first, "SELECT")) {
      if (!top) return Fail(kSelectNotFirst, first.position);
      Take();
      auto node = MakeNode(NodeKind::kSelect, first.position);
      auto value = Expression();
      if (!value || !Adopt(node.get(), std::move(value))) return nullptr;
      return node;
    }
    if (IsWord(first, "REM")) {
      if (!top) return Fail(kExpectedValue, first.position);
      Take();
      if (Peek().kind != TokenKind::kText) return Fail(kExpectedRemark, Peek().position);
      auto node = MakeNode(NodeKind::kRem, first.position);
      node->text = Take().text;
      return node;
    }
    AssignKind kind = AssignKind::kTemporary;
    bool assignment = false;
    if (IsWord(first, "FIELD") || IsWord(first, "DEFAULT") || IsWord(first, "ENVIRONMENT")) {
      kind = IsWord(first, "FIELD")     ? AssignKind::kField
             : IsWord(first, "DEFAULT") ? AssignKind::kDefault
                                        : AssignKind::kEnvironment;
      Take();
      if (Peek().kind != TokenKind::kName || FormulaIsReservedWord(Peek().text)) {
        return Fail(kExpectedName, Peek().position);
      }
      if (Peek(1).kind != TokenKind::kAssign) return Fail(kExpectedAssign, Peek(1).position);
      assignment = true;
    } else if (first.kind == TokenKind::kName && Peek(1).kind == TokenKind::kAssign) {
      if (FormulaIsReservedWord(first.text)) return Fail(kReservedWord, first.position);
      assignment = true;
    }
    if (!assignment) return Expression();
    const Token& name = Take();
    Take();  // :=
    auto node = MakeNode(NodeKind::kAssign, first.position);
    node->op = static_cast<uint8_t>(kind);
    node->text = name.text;
    auto value = Expression();
    if (!value || !Adopt(node.get(), std::move(value))) return nullptr;
    return node;
  }

  std::unique_ptr<Node> Binary(Op op, uint32_t position, std::unique_ptr<Node> left,
                               std::unique_ptr<Node> right) {
    auto node = MakeNode(NodeKind::kBinary, position);
    node->op = static_cast<uint8_t>(op);
    if (!Adopt(node.get(), std::move(left)) || !Adopt(node.get(), std::move(right))) {
      return nullptr;
    }
    return node;
  }

  // One left-associative level: operands from `next`, operators that
  // `accepts` takes.
  template <typename Next, typename Accepts>
  std::unique_ptr<Node> Level(Next next, Accepts accepts) {
    auto left = (this->*next)();
    while (left && Peek().kind == TokenKind::kOperator && accepts(Peek().op)) {
      const Token& op = Take();
      auto right = (this->*next)();
      if (!right) return nullptr;
      left = Binary(op.op, op.position, std::move(left), std::move(right));
    }
    return left;
  }

  std::unique_ptr<Node> Expression() {
    DepthGuard guard(this);
    if (!guard.ok()) return Fail(kTooDeep, Peek().position);
    return Level(&Parser::And, [](Op op) { return op == Op::kOr; });
  }
  std::unique_ptr<Node> And() {
    return Level(&Parser::Compare, [](Op op) { return op == Op::kAnd; });
  }
  std::unique_ptr<Node> Compare() {
    return Level(&Parser::Additive, [](Op op) {
      switch (op) {
        case Op::kEqual: case Op::kNotEqual: case Op::kNotEqualAlt: case Op::kLess:
        case Op::kGreater: case Op::kLessEqual: case Op::kGreaterEqual:
        case Op::kPermutedEqual: case Op::kPermutedNotEqual: case Op::kPermutedLess:
        case Op::kPermutedGreater: case Op::kPermutedLessEqual:
        case Op::kPermutedGreaterEqual:
          return true;
        default:
          return false;
      }
    });
  }
  std::unique_ptr<Node> Additive() {
    return Level(&Parser::Term, [](Op op) {
      return op == Op::kAdd || op == Op::kSubtract || op == Op::kPermutedAdd;
    });
  }
  std::unique_ptr<Node> Term() {
    return Level(&Parser::Unary, [](Op op) {
      return op == Op::kMultiply || op == Op::kDivide || op == Op::kPermutedMultiply ||
             op == Op::kPermutedDivide;
    });
  }

  std::unique_ptr<Node> Unary() {
    const Token& token = Peek();
    if (token.kind == TokenKind::kOperator && (token.op == Op::kSubtract || token.op == Op::kNot)) {
      DepthGuard guard(this);
      if (!guard.ok()) return Fail(kTooDeep, token.position);
      Take();
      auto node = MakeNode(NodeKind::kUnary, token.position);
      node->op = static_cast<uint8_t>(token.op == Op::kSubtract ? Op::kNegate : Op::kNot);
      auto operand = Unary();
      if (!operand) return nullptr;
      // -5 is a constant, so that a formula turned back into text and
      // compiled again gives the same tree.
      if (token.op == Op::kSubtract && operand->kind == NodeKind::kConstant &&
          operand->constant.type == FormulaType::kNumber) {
        operand->constant.numbers[0] = Negated(operand->constant.numbers[0]);
        operand->position = token.position;
        return operand;
      }
      if (!Adopt(node.get(), std::move(operand))) return nullptr;
      return node;
    }
    return List();
  }

  std::unique_ptr<Node> List() {
    auto first = Element();
    if (!first || Peek().kind != TokenKind::kColon) return first;
    auto node = MakeNode(NodeKind::kList, first->position);
    if (!Adopt(node.get(), std::move(first))) return nullptr;
    while (Peek().kind == TokenKind::kColon) {
      Take();
      auto next = Element();
      if (!next || !Adopt(node.get(), std::move(next))) return nullptr;
    }
    return node;
  }

  std::unique_ptr<Node> Element() {
    const Token& token = Peek();
    if (token.kind == TokenKind::kOperator && token.op == Op::kSubtract &&
        Peek(1).kind == TokenKind::kNumber) {
      Take();
      auto node = MakeNode(NodeKind::kConstant, token.position);
      node->constant = FormulaNumber(Negated(Take().number));
      return node;
    }
    return Primary();
  }

  std::unique_ptr<Node> Primary() {
    const Token& token = Take();
    switch (token.kind) {
      case TokenKind::kText: {
        auto node = MakeNode(NodeKind::kConstant, token.position);
        node->constant = FormulaText(token.text);
        return node;
      }
      case TokenKind::kNumber: {
        auto node = MakeNode(NodeKind::kConstant, token.position);
        node->constant = FormulaNumber(token.number);
        return node;
      }
      case TokenKind::kDatetime: {
        auto node = MakeNode(NodeKind::kConstant, token.position);
        node->constant = FormulaTime(token.datetime);
        return node;
      }
      case TokenKind::kKeyword: {
        auto node = MakeNode(NodeKind::kKeyword, token.position);
        node->text = token.text;
        return node;
      }
      case TokenKind::kName: {
        if (IsWord(token, "SELECT")) return Fail(kSelectNotFirst, token.position);
        if (FormulaIsReservedWord(token.text)) return Fail(kReservedWord, token.position);
        auto node = MakeNode(NodeKind::kName, token.position);
        node->text = token.text;
        return node;
      }
      case TokenKind::kFunction: return Call(token);
      case TokenKind::kLeftParen: {
        auto inner = Expression();
        if (!inner) return nullptr;
        if (Peek().kind != TokenKind::kRightParen) return Fail(kExpectedRightParen, Peek().position);
        Take();
        return inner;
      }
      default: return Fail(kExpectedValue, token.position);
    }
  }

  std::unique_ptr<Node> Call(const Token& token) {
    uint16_t index = 0;
    if (!FormulaFindFunction(token.text, &index)) return Fail(kUnknownFunction, token.position);
    const FunctionInfo& info = FormulaFunctionAt(index);
    auto node = MakeNode(NodeKind::kCall, token.position);
    node->function = index;
    node->text = info.name;
    if (Peek().kind == TokenKind::kLeftParen) {
      Take();
      if (Peek().kind == TokenKind::kRightParen) {
        Take();
      } else {
        for (;;) {
          auto argument = Statement(/*top=*/false);
          if (!argument || !Adopt(node.get(), std::move(argument))) return nullptr;
          if (node->children.size() > kFunctionAnyArgs - 1) {
            return Fail(kTooManyArguments, token.position);
          }
          if (Peek().kind == TokenKind::kSemicolon) {
            Take();
            continue;
          }
          if (Peek().kind == TokenKind::kRightParen) {
            Take();
            break;
          }
          return Fail(kExpectedArgumentEnd, Peek().position);
        }
      }
    }
    const size_t count = node->children.size();
    if ((info.flags & kFunctionOddArgs) && (count < info.min_args || count % 2 == 0)) {
      return Fail(kOddArguments, token.position);
    }
    if (count < info.min_args) return Fail(kTooFewArguments, token.position);
    if (info.max_args != kFunctionAnyArgs && count > info.max_args) {
      return Fail(kTooManyArguments, token.position);
    }
    if (info.flags & kFunctionNameArg) {
      const Node& argument = *node->children[0];
      const bool text_constant = argument.kind == NodeKind::kConstant &&
                                 argument.constant.type == FormulaType::kText;
      if (argument.kind != NodeKind::kName && !text_constant) {
        return Fail(kNameArgument, argument.position);
      }
    }
    return node;
  }

  const std::vector<Token>& tokens_;
  FormulaSyntaxError* error_;
  size_t pos_ = 0;
  int depth_ = 0;
};

}  // namespace

bool FormulaIsReservedWord(std::string_view word) {
  return EqualsFolded(word, "SELECT") || EqualsFolded(word, "FIELD") ||
         EqualsFolded(word, "DEFAULT") || EqualsFolded(word, "ENVIRONMENT") ||
         EqualsFolded(word, "REM");
}

bool FormulaParse(std::string_view source, Program* program, FormulaSyntaxError* error) {
  *program = Program();
  error->message.clear();
  error->position = 0;
  std::vector<Token> tokens;
  if (!FormulaTokenize(source, &tokens, error)) return false;
  Parser parser(tokens, error);
  if (!parser.ParseProgram(program)) {
    *program = Program();
    if (error->message.empty()) error->message = kExpectedValue;
    return false;
  }
  ResolveNames(program);
  return true;
}

}  // namespace ledra
