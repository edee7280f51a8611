// Encoding and decoding of compiled formulas; the layout is in the header.
#include "ledra/formula/compiled_form.h"

#include <cmath>
#include <cstring>
#include <memory>

#include "ledra/formula/function_table.h"
#include "ledra/formula/lexer.h"
#include "ledra/formula/parser.h"

namespace ledra {
namespace {

constexpr char kMagic[] = "LF";

void PutVarint(std::string* out, uint64_t value) {
  while (value >= 0x80) {
    out->push_back(static_cast<char>((value & 0x7f) | 0x80));
    value >>= 7;
  }
  out->push_back(static_cast<char>(value));
}

void PutBytes(std::string* out, std::string_view bytes) {
  PutVarint(out, bytes.size());
  out->append(bytes);
}

void PutFixed64(std::string* out, uint64_t value) {
  for (int i = 0; i < 8; ++i) out->push_back(static_cast<char>((value >> (8 * i)) & 0xff));
}

void EncodeNode(const Node& node, std::string* out) {
  out->push_back(static_cast<char>(node.kind));
  PutVarint(out, node.position);
  switch (node.kind) {
    case NodeKind::kConstant: {
      const FormulaValue& value = node.constant;
      out->push_back(static_cast<char>(value.type));
      if (value.type == FormulaType::kText) {
        PutBytes(out, value.texts[0]);
      } else if (value.type == FormulaType::kNumber) {
        uint64_t bits = 0;
        std::memcpy(&bits, &value.numbers[0], sizeof bits);
        PutFixed64(out, bits);
      } else {
        const Datetime& time = value.datetimes[0];
        PutFixed64(out, static_cast<uint64_t>(time.ticks));
        out->push_back(static_cast<char>((time.has_date ? 1 : 0) | (time.has_time ? 2 : 0)));
      }
      return;
    }
    case NodeKind::kKeyword:
    case NodeKind::kName:
    case NodeKind::kRem:
      PutBytes(out, node.text);
      return;
    case NodeKind::kUnary:
    case NodeKind::kBinary:
      out->push_back(static_cast<char>(node.op));
      break;
    case NodeKind::kList:
      PutVarint(out, node.children.size());
      break;
    case NodeKind::kCall:
      PutBytes(out, FormulaFunctionAt(node.function).name);
      PutVarint(out, node.children.size());
      break;
    case NodeKind::kAssign:
      out->push_back(static_cast<char>(node.op));
      PutBytes(out, node.text);
      break;
    case NodeKind::kSelect:
      break;
  }
  for (const auto& child : node.children) EncodeNode(*child, out);
}

// A name as the lexer reads one, so that the decompiled text compiles.
bool ValidName(std::string_view name, bool item) {
  if (name.empty() || FormulaIsNameByte(static_cast<unsigned char>(name[0])) == false ||
      (name[0] >= '0' && name[0] <= '9')) {
    return false;
  }
  for (char c : name) {
    if (!FormulaIsNameByte(static_cast<unsigned char>(c))) return false;
  }
  return !item || !FormulaIsReservedWord(name);
}

// Where a node stands decides what it may be: SELECT and REM only as
// statements, assignments as statements or @function arguments.
enum class Place { kStatement, kArgument, kOperand };

class Decoder {
 public:
  explicit Decoder(std::string_view bytes) : bytes_(bytes) {}

  bool Run(Program* program) {
    if (bytes_.size() < 3 || bytes_.substr(0, 2) != kMagic) return Fail("not a compiled formula");
    if (static_cast<uint8_t>(bytes_[2]) != kCompiledFormulaVersion) {
      return Fail("unknown compiled formula version");
    }
    pos_ = 3;
    uint64_t count = 0;
    if (!Varint(&count) || count > bytes_.size()) return Fail("bad statement count");
    for (uint64_t i = 0; i < count; ++i) {
      auto node = Read(Place::kStatement, 1);
      if (!node) return false;
      program->statements.push_back(std::move(node));
    }
    if (pos_ != bytes_.size()) return Fail("trailing bytes after the formula");
    return true;
  }

  const std::string& message() const { return message_; }

 private:
  bool Fail(const char* message) {
    if (message_.empty()) message_ = message;
    return false;
  }
  std::nullptr_t FailNode(const char* message) {
    Fail(message);
    return nullptr;
  }

  bool Byte(uint8_t* out) {
    if (pos_ >= bytes_.size()) return Fail("truncated compiled formula");
    *out = static_cast<uint8_t>(bytes_[pos_++]);
    return true;
  }
  bool Varint(uint64_t* out) {
    uint64_t value = 0;
    for (int shift = 0; shift < 64; shift += 7) {
      uint8_t byte = 0;
      if (!Byte(&byte)) return false;
      value |= static_cast<uint64_t>(byte & 0x7f) << shift;
      if (!(byte & 0x80)) {
        *out = value;
        return true;
      }
    }
    return Fail("bad number in compiled formula");
  }
  bool Bytes(std::string* out) {
    uint64_t size = 0;
    if (!Varint(&size)) return false;
    if (size > bytes_.size() - pos_) return Fail("truncated compiled formula");
    out->assign(bytes_.substr(pos_, size));
    pos_ += size;
    return true;
  }
  bool Fixed64(uint64_t* out) {
    if (bytes_.size() - pos_ < 8) return Fail("truncated compiled formula");
    uint64_t value = 0;
    for (int i = 0; i < 8; ++i) value |= static_cast<uint64_t>(static_cast<uint8_t>(bytes_[pos_ + i])) << (8 * i);
    pos_ += 8;
    *out = value;
    return true;
  }

  bool Child(Node* parent, Place place, int depth) {
    auto child = Read(place, depth + 1);
    if (!child) return false;
    if (child->height + 1 > parent->height) parent->height = static_cast<uint16_t>(child->height + 1);
    parent->children.push_back(std::move(child));
    return true;
  }

  std::unique_ptr<Node> Read(Place place, int depth) {
    if (depth > kFormulaMaxDepth) return FailNode("compiled formula nested too deeply");
    uint8_t kind = 0;
    uint64_t position = 0;
    if (!Byte(&kind) || !Varint(&position)) return nullptr;
    if (position > 0xffffffffu) return FailNode("bad position in compiled formula");
    auto node = std::make_unique<Node>();
    node->kind = static_cast<NodeKind>(kind);
    node->position = static_cast<uint32_t>(position);
    switch (node->kind) {
      case NodeKind::kConstant: return Constant(std::move(node));
      case NodeKind::kKeyword:
      case NodeKind::kName:
        if (!Bytes(&node->text)) return nullptr;
        if (!ValidName(node->text, node->kind == NodeKind::kName)) {
          return FailNode("bad name in compiled formula");
        }
        return node;
      case NodeKind::kRem:
        if (place != Place::kStatement) return FailNode("misplaced REM in compiled formula");
        if (!Bytes(&node->text)) return nullptr;
        return node;
      case NodeKind::kUnary: {
        uint8_t op = 0;
        if (!Byte(&op)) return nullptr;
        if (op != static_cast<uint8_t>(Op::kNegate) && op != static_cast<uint8_t>(Op::kNot)) {
          return FailNode("bad operator in compiled formula");
        }
        node->op = op;
        if (!Child(node.get(), Place::kOperand, depth)) return nullptr;
        return node;
      }
      case NodeKind::kBinary: {
        uint8_t op = 0;
        if (!Byte(&op)) return nullptr;
        if (op < static_cast<uint8_t>(Op::kMultiply) || op > static_cast<uint8_t>(Op::kNotEqualAlt)) {
          return FailNode("bad operator in compiled formula");
        }
        node->op = op;
        if (!Child(node.get(), Place::kOperand, depth) || !Child(node.get(), Place::kOperand, depth)) {
          return nullptr;
        }
        return node;
      }
      case NodeKind::kList: {
        uint64_t count = 0;
        if (!Varint(&count)) return nullptr;
        if (count < 2 || count > bytes_.size() - pos_) return FailNode("bad list in compiled formula");
        for (uint64_t i = 0; i < count; ++i) {
          if (!Child(node.get(), Place::kOperand, depth)) return nullptr;
        }
        return node;
      }
      case NodeKind::kCall: return Call(std::move(node), depth);
      case NodeKind::kAssign: {
        if (place == Place::kOperand) return FailNode("misplaced assignment in compiled formula");
        uint8_t kind_byte = 0;
        if (!Byte(&kind_byte) || !Bytes(&node->text)) return nullptr;
        if (kind_byte < 1 || kind_byte > 4 || !ValidName(node->text, true)) {
          return FailNode("bad assignment in compiled formula");
        }
        node->op = kind_byte;
        if (!Child(node.get(), Place::kOperand, depth)) return nullptr;
        return node;
      }
      case NodeKind::kSelect:
        if (place != Place::kStatement) return FailNode("misplaced SELECT in compiled formula");
        if (!Child(node.get(), Place::kOperand, depth)) return nullptr;
        return node;
    }
    return FailNode("unknown node in compiled formula");
  }

  std::unique_ptr<Node> Constant(std::unique_ptr<Node> node) {
    uint8_t type = 0;
    if (!Byte(&type)) return nullptr;
    if (type == static_cast<uint8_t>(FormulaType::kText)) {
      std::string text;
      if (!Bytes(&text)) return nullptr;
      node->constant = FormulaText(std::move(text));
      return node;
    }
    uint64_t bits = 0;
    if (!Fixed64(&bits)) return nullptr;
    if (type == static_cast<uint8_t>(FormulaType::kNumber)) {
      double number = 0;
      std::memcpy(&number, &bits, sizeof number);
      if (!std::isfinite(number)) return FailNode("bad number in compiled formula");
      node->constant = FormulaNumber(number);
      return node;
    }
    if (type != static_cast<uint8_t>(FormulaType::kDatetime)) {
      return FailNode("bad constant in compiled formula");
    }
    uint8_t flags = 0;
    if (!Byte(&flags)) return nullptr;
    Datetime time{static_cast<int64_t>(bits), (flags & 1) != 0, (flags & 2) != 0};
    bool in_range = time.ticks >= 0 && time.ticks < kTicksPerDay;
    if (time.has_date) {
      in_range = time.ticks > -(int64_t{1} << 50) && time.ticks < (int64_t{1} << 50) &&
                 DatetimeYear(time) >= 1 && DatetimeYear(time) <= 9999;
    }
    if (flags == 0 || flags > 3 || !in_range) return FailNode("bad date-time in compiled formula");
    node->constant = FormulaTime(time);
    return node;
  }

  std::unique_ptr<Node> Call(std::unique_ptr<Node> node, int depth) {
    std::string name;
    uint64_t count = 0;
    if (!Bytes(&name) || !Varint(&count)) return nullptr;
    uint16_t index = 0;
    if (!FormulaFindFunction(name, &index)) return FailNode("unknown @function in compiled formula");
    const FunctionInfo& info = FormulaFunctionAt(index);
    if (count < info.min_args || (info.max_args != kFunctionAnyArgs && count > info.max_args) ||
        count > bytes_.size() - pos_ || ((info.flags & kFunctionOddArgs) && count % 2 == 0)) {
      return FailNode("wrong argument count in compiled formula");
    }
    node->function = index;
    node->text = info.name;
    for (uint64_t i = 0; i < count; ++i) {
      if (!Child(node.get(), Place::kArgument, depth)) return nullptr;
    }
    if (info.flags & kFunctionNameArg) {
      const Node& argument = *node->children[0];
      const bool text_constant = argument.kind == NodeKind::kConstant &&
                                 argument.constant.type == FormulaType::kText;
      if (argument.kind != NodeKind::kName && !text_constant) {
        return FailNode("bad item name argument in compiled formula");
      }
    }
    return node;
  }

  std::string_view bytes_;
  size_t pos_ = 0;
  std::string message_;
};

}  // namespace

std::string FormulaEncode(const Program& program) {
  std::string out(kMagic);
  out.push_back(static_cast<char>(kCompiledFormulaVersion));
  PutVarint(&out, program.statements.size());
  for (const auto& statement : program.statements) EncodeNode(*statement, &out);
  return out;
}

bool FormulaDecode(std::string_view bytes, Program* program, std::string* message) {
  *program = Program();
  Decoder decoder(bytes);
  if (!decoder.Run(program)) {
    *program = Program();
    *message = decoder.message();
    return false;
  }
  ResolveNames(program);
  return true;
}

}  // namespace ledra
