// The formula lexer.
#include "ledra/formula/lexer.h"

#include <cstdlib>

namespace ledra {
namespace {

constexpr char kUnterminatedText[] = "Text is missing its closing quote";
constexpr char kUnterminatedBrace[] = "Text is missing its closing brace";
constexpr char kUnterminatedBracket[] = "Date-time or keyword is missing its closing bracket";
constexpr char kBadBracket[] = "Not a date-time or a keyword";
constexpr char kBadNumber[] = "Number is not well formed";
constexpr char kBadCharacter[] = "Unexpected character";
constexpr char kEmptyFunction[] = "@ must be followed by a function name";

bool IsNameStart(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == '$' || c >= 0x80;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

struct OperatorSpelling {
  const char* text;
  Op op;
};

// Longest spellings first, so that "*<=" wins over "*<" and "<=" over "<".
constexpr OperatorSpelling kOperators[] = {
    {"*<>", Op::kPermutedNotEqual}, {"*!=", Op::kPermutedNotEqual},
    {"*<=", Op::kPermutedLessEqual}, {"*>=", Op::kPermutedGreaterEqual},
    {"*=", Op::kPermutedEqual},      {"*<", Op::kPermutedLess},
    {"*>", Op::kPermutedGreater},    {"*+", Op::kPermutedAdd},
    {"**", Op::kPermutedMultiply},   {"*/", Op::kPermutedDivide},
    {"!=", Op::kNotEqual},           {"<>", Op::kNotEqualAlt},
    {"<=", Op::kLessEqual},          {">=", Op::kGreaterEqual},
    {"=", Op::kEqual},               {"<", Op::kLess},
    {">", Op::kGreater},             {"+", Op::kAdd},
    {"-", Op::kSubtract},            {"*", Op::kMultiply},
    {"/", Op::kDivide},              {"&", Op::kAnd},
    {"|", Op::kOr},                  {"!", Op::kNot},
};

class Lexer {
 public:
  explicit Lexer(std::string_view source) : source_(source) {}

  bool Run(std::vector<Token>* tokens, FormulaSyntaxError* error) {
    for (;;) {
      SkipBlanks();
      Token token;
      token.position = static_cast<uint32_t>(pos_ + 1);
      if (pos_ >= source_.size()) {
        tokens->push_back(std::move(token));
        return true;
      }
      if (!One(&token)) {
        error->message = message_;
        error->position = error_position_ != 0 ? error_position_ : token.position;
        return false;
      }
      tokens->push_back(std::move(token));
    }
  }

 private:
  void SkipBlanks() {
    while (pos_ < source_.size()) {
      const char c = source_[pos_];
      if (c != ' ' && c != '\t' && c != '\r' && c != '\n') break;
      ++pos_;
    }
  }

  bool Fail(const char* message) {
    message_ = message;
    return false;
  }

  bool One(Token* token) {
    const char c = source_[pos_];
    if (c == '"') return QuotedText(token);
    if (c == '{') return BracedText(token);
    if (c == '[') return Bracketed(token);
    if (IsDigit(c) || (c == '.' && pos_ + 1 < source_.size() && IsDigit(source_[pos_ + 1]))) {
      return Number(token);
    }
    if (c == '@') {
      const size_t start = pos_++;
      if (pos_ >= source_.size() || !IsNameStart(static_cast<unsigned char>(source_[pos_]))) {
        return Fail(kEmptyFunction);
      }
      while (pos_ < source_.size() && FormulaIsNameByte(static_cast<unsigned char>(source_[pos_]))) {
        ++pos_;
      }
      token->kind = TokenKind::kFunction;
      token->text = std::string(source_.substr(start, pos_ - start));
      return true;
    }
    if (IsNameStart(static_cast<unsigned char>(c))) {
      const size_t start = pos_;
      while (pos_ < source_.size() && FormulaIsNameByte(static_cast<unsigned char>(source_[pos_]))) {
        ++pos_;
      }
      token->kind = TokenKind::kName;
      token->text = std::string(source_.substr(start, pos_ - start));
      return true;
    }
    switch (c) {
      case '(': ++pos_; token->kind = TokenKind::kLeftParen; return true;
      case ')': ++pos_; token->kind = TokenKind::kRightParen; return true;
      case ';': ++pos_; token->kind = TokenKind::kSemicolon; return true;
      case ':':
        ++pos_;
        if (pos_ < source_.size() && source_[pos_] == '=') {
          ++pos_;
          token->kind = TokenKind::kAssign;
        } else {
          token->kind = TokenKind::kColon;
        }
        return true;
      default: break;
    }
    const std::string_view rest = source_.substr(pos_);
    for (const OperatorSpelling& spelling : kOperators) {
      const std::string_view text(spelling.text);
      if (rest.substr(0, text.size()) == text) {
        pos_ += text.size();
        token->kind = TokenKind::kOperator;
        token->op = spelling.op;
        return true;
      }
    }
    return Fail(kBadCharacter);
  }

  bool QuotedText(Token* token) {
    ++pos_;
    std::string text;
    while (pos_ < source_.size()) {
      const char c = source_[pos_++];
      if (c == '"') {
        token->kind = TokenKind::kText;
        token->text = std::move(text);
        return true;
      }
      if (c == '\\') {
        if (pos_ >= source_.size()) break;
        text.push_back(source_[pos_++]);
      } else {
        text.push_back(c);
      }
    }
    return Fail(kUnterminatedText);
  }

  bool BracedText(Token* token) {
    const size_t end = source_.find('}', pos_ + 1);
    if (end == std::string_view::npos) return Fail(kUnterminatedBrace);
    token->kind = TokenKind::kText;
    token->text = std::string(source_.substr(pos_ + 1, end - pos_ - 1));
    pos_ = end + 1;
    return true;
  }

  bool Bracketed(Token* token) {
    const size_t end = source_.find(']', pos_ + 1);
    if (end == std::string_view::npos) return Fail(kUnterminatedBracket);
    const std::string_view whole = source_.substr(pos_, end - pos_ + 1);
    std::string_view inner = source_.substr(pos_ + 1, end - pos_ - 1);
    while (!inner.empty() && inner.front() == ' ') inner.remove_prefix(1);
    while (!inner.empty() && inner.back() == ' ') inner.remove_suffix(1);
    if (DatetimeParse(whole, &token->datetime)) {
      token->kind = TokenKind::kDatetime;
      pos_ = end + 1;
      return true;
    }
    bool word = !inner.empty() && IsNameStart(static_cast<unsigned char>(inner[0]));
    for (char c : inner) word = word && FormulaIsNameByte(static_cast<unsigned char>(c));
    if (!word) return Fail(kBadBracket);
    token->kind = TokenKind::kKeyword;
    token->text = std::string(inner);
    pos_ = end + 1;
    return true;
  }

  bool Number(Token* token) {
    const size_t start = pos_;
    while (pos_ < source_.size() && IsDigit(source_[pos_])) ++pos_;
    if (pos_ < source_.size() && source_[pos_] == '.') {
      ++pos_;
      while (pos_ < source_.size() && IsDigit(source_[pos_])) ++pos_;
    }
    if (pos_ < source_.size() && (source_[pos_] == 'e' || source_[pos_] == 'E')) {
      size_t j = pos_ + 1;
      if (j < source_.size() && (source_[j] == '+' || source_[j] == '-')) ++j;
      if (j < source_.size() && IsDigit(source_[j])) {
        pos_ = j;
        while (pos_ < source_.size() && IsDigit(source_[pos_])) ++pos_;
      }
    }
    // "12abc" is neither a number nor a name.
    if (pos_ < source_.size() && FormulaIsNameByte(static_cast<unsigned char>(source_[pos_]))) {
      return Fail(kBadNumber);
    }
    double number = 0;
    if (!FormulaParseNumber(source_.substr(start, pos_ - start), &number)) {
      return Fail(kBadNumber);
    }
    token->kind = TokenKind::kNumber;
    token->number = number;
    return true;
  }

  std::string_view source_;
  size_t pos_ = 0;
  const char* message_ = "";
  uint32_t error_position_ = 0;
};

}  // namespace

bool FormulaIsNameByte(unsigned char c) { return IsNameStart(c) || IsDigit(static_cast<char>(c)); }

bool FormulaTokenize(std::string_view source, std::vector<Token>* tokens,
                     FormulaSyntaxError* error) {
  tokens->clear();
  tokens->reserve(source.size() / 4 + 8);
  Lexer lexer(source);
  return lexer.Run(tokens, error);
}

}  // namespace ledra
