// Built-ins on text. They work element by element on text lists and count
// in characters: a UTF-8 sequence is one character and is never split.
// Searches are case-sensitive.
#include <string>
#include <string_view>

#include "ledra/formula/builtins.h"

namespace ledra {
namespace {

constexpr char kNotNumberText[] = "The value cannot be converted to a number";
constexpr char kNotTimeText[] = "The value cannot be converted to a date-time";

bool IsContinuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

size_t CharCount(std::string_view text) {
  size_t count = 0;
  for (char c : text) count += IsContinuation(c) ? 0 : 1;
  return count;
}

// The byte offset `chars` characters into the text, at most its size.
size_t ByteOffset(std::string_view text, int64_t chars) {
  size_t i = 0;
  while (chars > 0 && i < text.size()) {
    ++i;
    while (i < text.size() && IsContinuation(text[i])) ++i;
    --chars;
  }
  return i;
}

template <typename F>
FormulaValue MapText(const CallFrame& frame, const FormulaValue& value, F f) {
  if (value.type != FormulaType::kText) return frame.Error(kNeedText);
  FormulaValue out;
  out.texts.reserve(value.texts.size());
  for (const std::string& text : value.texts) out.texts.push_back(f(text));
  FormulaNormalize(&out);
  return out;
}

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }
char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

enum class Side { kLeft, kRight, kLeftBack, kRightBack };

FormulaValue Cut(CallFrame& frame, Side side) {
  const FormulaValue& source = frame.args[0];
  const FormulaValue& by = frame.args[1];
  if (source.type != FormulaType::kText) return frame.Error(kNeedText);
  if (by.type == FormulaType::kNumber) {
    int64_t n = 0;
    if (!BuiltinWholeNumber(by, &n)) return frame.Error(kBadArgument);
    if (n < 0) n = 0;
    return MapText(frame, source, [&](const std::string& text) {
      const int64_t count = static_cast<int64_t>(CharCount(text));
      switch (side) {
        case Side::kLeft: return text.substr(0, ByteOffset(text, n));
        case Side::kRight: return text.substr(ByteOffset(text, count > n ? count - n : 0));
        case Side::kLeftBack: return text.substr(0, ByteOffset(text, count > n ? count - n : 0));
        case Side::kRightBack: return text.substr(ByteOffset(text, n));
      }
      return std::string();
    });
  }
  if (by.type != FormulaType::kText) return frame.Error(kBadArgument);
  const std::string& needle = by.texts[0];
  return MapText(frame, source, [&](const std::string& text) {
    const bool back = side == Side::kLeftBack || side == Side::kRightBack;
    const size_t at = back ? text.rfind(needle) : text.find(needle);
    if (at == std::string::npos) return std::string();
    if (side == Side::kLeft || side == Side::kLeftBack) return text.substr(0, at);
    return text.substr(at + needle.size());
  });
}

enum class Match { kContains, kBegins, kEnds };

FormulaValue Find(CallFrame& frame, Match match) {
  const FormulaValue& source = frame.args[0];
  const FormulaValue& wanted = frame.args[1];
  if (source.type != FormulaType::kText || wanted.type != FormulaType::kText) {
    return frame.Error(kNeedText);
  }
  if (!frame.evaluator.Charge(static_cast<uint64_t>(source.texts.size()) * wanted.texts.size() +
                              FormulaTextBytes(source) * wanted.texts.size())) {
    return frame.Error(kValueTooLarge);
  }
  for (const std::string& text : source.texts) {
    for (const std::string& part : wanted.texts) {
      const std::string_view view(text);
      switch (match) {
        case Match::kContains:
          if (view.find(part) != std::string_view::npos) return FormulaNumber(1);
          break;
        case Match::kBegins:
          if (view.substr(0, part.size()) == part) return FormulaNumber(1);
          break;
        case Match::kEnds:
          if (view.size() >= part.size() && view.substr(view.size() - part.size()) == part) {
            return FormulaNumber(1);
          }
          break;
      }
    }
  }
  return FormulaNumber(0);
}

}  // namespace

FormulaValue BuiltinUppercase(CallFrame& frame) {
  return MapText(frame, frame.args[0], [](std::string text) {
    for (char& c : text) c = Upper(c);
    return text;
  });
}

FormulaValue BuiltinLowercase(CallFrame& frame) {
  return MapText(frame, frame.args[0], [](std::string text) {
    for (char& c : text) c = Lower(c);
    return text;
  });
}

FormulaValue BuiltinProperCase(CallFrame& frame) {
  return MapText(frame, frame.args[0], [](std::string text) {
    bool word_start = true;
    for (char& c : text) {
      if (IsLetter(c)) {
        c = word_start ? Upper(c) : Lower(c);
        word_start = false;
      } else {
        word_start = c == ' ' || c == '\t' || c == '-' || c == '\n';
      }
    }
    return text;
  });
}

// Leading and trailing blanks go, runs of blanks inside become one, and
// elements left empty leave the list.
FormulaValue BuiltinTrim(CallFrame& frame) {
  const FormulaValue& source = frame.args[0];
  if (source.type != FormulaType::kText) return frame.Error(kNeedText);
  FormulaValue out;
  for (const std::string& text : source.texts) {
    std::string trimmed;
    bool pending_blank = false;
    for (char c : text) {
      if (c == ' ' || c == '\t') {
        pending_blank = !trimmed.empty();
        continue;
      }
      if (pending_blank) trimmed.push_back(' ');
      pending_blank = false;
      trimmed.push_back(c);
    }
    if (!trimmed.empty()) out.texts.push_back(std::move(trimmed));
  }
  FormulaNormalize(&out);
  return out;
}

FormulaValue BuiltinLeft(CallFrame& frame) { return Cut(frame, Side::kLeft); }
FormulaValue BuiltinRight(CallFrame& frame) { return Cut(frame, Side::kRight); }
FormulaValue BuiltinLeftBack(CallFrame& frame) { return Cut(frame, Side::kLeftBack); }
FormulaValue BuiltinRightBack(CallFrame& frame) { return Cut(frame, Side::kRightBack); }

// @Middle(text; offset; count): from a character offset or from after the
// first occurrence of a text; `count` characters onward (to the left when
// negative), or up to the first occurrence of an end text.
FormulaValue BuiltinMiddle(CallFrame& frame) {
  const FormulaValue& source = frame.args[0];
  const FormulaValue& offset = frame.args[1];
  const FormulaValue& extent = frame.args[2];
  if (source.type != FormulaType::kText) return frame.Error(kNeedText);
  int64_t offset_chars = 0, count = 0;
  if (offset.type == FormulaType::kNumber) {
    if (!BuiltinWholeNumber(offset, &offset_chars)) return frame.Error(kBadArgument);
    if (offset_chars < 0) offset_chars = 0;
  } else if (offset.type != FormulaType::kText) {
    return frame.Error(kBadArgument);
  }
  if (extent.type == FormulaType::kNumber) {
    if (!BuiltinWholeNumber(extent, &count)) return frame.Error(kBadArgument);
  } else if (extent.type != FormulaType::kText) {
    return frame.Error(kBadArgument);
  }
  return MapText(frame, source, [&](const std::string& text) {
    size_t start = 0;
    if (offset.type == FormulaType::kNumber) {
      start = ByteOffset(text, offset_chars);
    } else {
      const size_t at = text.find(offset.texts[0]);
      if (at == std::string::npos) return std::string();
      start = at + offset.texts[0].size();
    }
    if (extent.type == FormulaType::kText) {
      const size_t end = text.find(extent.texts[0], start);
      return text.substr(start, end == std::string::npos ? std::string::npos : end - start);
    }
    if (count >= 0) {
      const std::string_view rest = std::string_view(text).substr(start);
      return std::string(rest.substr(0, ByteOffset(rest, count)));
    }
    const int64_t before = static_cast<int64_t>(CharCount(std::string_view(text).substr(0, start)));
    const int64_t from_chars = before + count > 0 ? before + count : 0;
    const size_t from = ByteOffset(text, from_chars);
    return text.substr(from, start - from);
  });
}

FormulaValue BuiltinContains(CallFrame& frame) { return Find(frame, Match::kContains); }
FormulaValue BuiltinBegins(CallFrame& frame) { return Find(frame, Match::kBegins); }
FormulaValue BuiltinEnds(CallFrame& frame) { return Find(frame, Match::kEnds); }

FormulaValue BuiltinLength(CallFrame& frame) {
  const FormulaValue& source = frame.args[0];
  if (source.type != FormulaType::kText) return frame.Error(kNeedText);
  FormulaValue out;
  out.type = FormulaType::kNumber;
  for (const std::string& text : source.texts) {
    out.numbers.push_back(static_cast<double>(CharCount(text)));
  }
  FormulaNormalize(&out);
  return out;
}

// The optional format argument is accepted and not applied: numbers and
// date-times always take their standard forms.
FormulaValue BuiltinText(CallFrame& frame) { return FormulaAsTextList(frame.args[0]); }

FormulaValue BuiltinTextToNumber(CallFrame& frame) {
  const FormulaValue& source = frame.args[0];
  if (source.type == FormulaType::kNumber) return source;
  if (source.type != FormulaType::kText) return frame.Error(kNeedText);
  FormulaValue out;
  out.type = FormulaType::kNumber;
  for (const std::string& text : source.texts) {
    double number = 0;
    if (!FormulaParseNumber(text, &number)) return frame.Error(kNotNumberText);
    out.numbers.push_back(number);
  }
  return out;
}

FormulaValue BuiltinTextToTime(CallFrame& frame) {
  const FormulaValue& source = frame.args[0];
  if (source.type == FormulaType::kDatetime) return source;
  if (source.type != FormulaType::kText) return frame.Error(kNeedText);
  FormulaValue out;
  out.type = FormulaType::kDatetime;
  for (const std::string& text : source.texts) {
    Datetime time;
    if (!DatetimeParse(text, &time)) return frame.Error(kNotTimeText);
    out.datetimes.push_back(time);
  }
  return out;
}

// @Word(text; separator; n): the n-th piece between separators (from the
// end when n is negative); "" when there is no such piece.
FormulaValue BuiltinWord(CallFrame& frame) {
  const FormulaValue& separator = frame.args[1];
  if (separator.type != FormulaType::kText) return frame.Error(kNeedText);
  int64_t n = 0;
  if (frame.args[2].type != FormulaType::kNumber || !BuiltinWholeNumber(frame.args[2], &n)) {
    return frame.Error(kNeedNumber);
  }
  const std::string& sep = separator.texts[0];
  return MapText(frame, frame.args[0], [&](const std::string& text) {
    std::vector<std::string_view> words;
    const std::string_view view(text);
    if (sep.empty()) {
      words.push_back(view);
    } else {
      size_t start = 0;
      for (;;) {
        const size_t at = view.find(sep, start);
        words.push_back(view.substr(start, at == std::string_view::npos ? at : at - start));
        if (at == std::string_view::npos) break;
        start = at + sep.size();
      }
    }
    const int64_t size = static_cast<int64_t>(words.size());
    const int64_t index = n > 0 ? n - 1 : size + n;
    if (n == 0 || index < 0 || index >= size) return std::string();
    return std::string(words[static_cast<size_t>(index)]);
  });
}

// Every occurrence of from[k] becomes to[k] (the to list extended by its
// last element), in one pass from the left; the first `from` that matches
// at a position wins.
FormulaValue BuiltinReplaceSubstring(CallFrame& frame) {
  const FormulaValue& source = frame.args[0];
  const FormulaValue& from = frame.args[1];
  const FormulaValue& to = frame.args[2];
  if (source.type != FormulaType::kText || from.type != FormulaType::kText ||
      to.type != FormulaType::kText) {
    return frame.Error(kNeedText);
  }
  // Every position of the source is tried against every pattern.
  if (!frame.evaluator.Charge(static_cast<uint64_t>(FormulaTextBytes(source) + 1) *
                              from.texts.size())) {
    return frame.Error(kValueTooLarge);
  }
  FormulaValue out;
  size_t total = 0;
  for (const std::string& text : source.texts) {
    std::string result;
    size_t i = 0;
    while (i < text.size()) {
      bool replaced = false;
      for (size_t k = 0; k < from.texts.size(); ++k) {
        const std::string& pattern = from.texts[k];
        if (pattern.empty() || text.compare(i, pattern.size(), pattern) != 0) continue;
        const std::string& with = to.texts[k < to.texts.size() ? k : to.texts.size() - 1];
        total += with.size();
        if (total > kFormulaMaxTextBytes) return frame.Error(kValueTooLarge);
        result += with;
        i += pattern.size();
        replaced = true;
        break;
      }
      if (!replaced) {
        if (++total > kFormulaMaxTextBytes) return frame.Error(kValueTooLarge);
        result.push_back(text[i++]);
      }
    }
    out.texts.push_back(std::move(result));
  }
  FormulaNormalize(&out);
  return out;
}

FormulaValue BuiltinNewLine(CallFrame&) { return FormulaText("\n"); }

FormulaValue BuiltinImplode(CallFrame& frame) {
  const FormulaValue source = FormulaAsTextList(frame.args[0]);
  std::string separator = " ";
  if (frame.args.size() > 1) {
    if (frame.args[1].type != FormulaType::kText) return frame.Error(kNeedText);
    separator = frame.args[1].texts[0];
  }
  std::string out;
  for (size_t i = 0; i < source.texts.size(); ++i) {
    if (i > 0) out += separator;
    out += source.texts[i];
    if (out.size() > kFormulaMaxTextBytes) return frame.Error(kValueTooLarge);
  }
  return FormulaText(std::move(out));
}

// @Explode(text; separators; include empty; newline separates): splits at
// any of the separator characters (" ,;" unless given); empty pieces are
// dropped unless asked for; a newline separates unless the fourth argument
// is @False.
FormulaValue BuiltinExplode(CallFrame& frame) {
  const FormulaValue& source = frame.args[0];
  if (source.type != FormulaType::kText) return frame.Error(kNeedText);
  std::string separators = " ,;";
  bool include_empty = false;
  bool newline = true;
  if (frame.args.size() > 1) {
    if (frame.args[1].type != FormulaType::kText) return frame.Error(kNeedText);
    separators = frame.args[1].texts[0];
  }
  for (size_t k = 2; k < frame.args.size(); ++k) {
    const FormulaValue& flag = frame.args[k];
    if (flag.type != FormulaType::kNumber) return frame.Error(kNeedNumber);
    (k == 2 ? include_empty : newline) = flag.numbers[0] != 0;
  }
  if (newline) separators += "\r\n";
  FormulaValue out;
  for (const std::string& text : source.texts) {
    std::string piece;
    auto flush = [&]() {
      if (!piece.empty() || include_empty) out.texts.push_back(std::move(piece));
      piece.clear();
    };
    for (char c : text) {
      if (separators.find(c) != std::string::npos) {
        flush();
        if (out.texts.size() > kFormulaMaxElements) return frame.Error(kValueTooLarge);
      } else {
        piece.push_back(c);
      }
    }
    flush();
  }
  if (out.texts.size() > kFormulaMaxElements) return frame.Error(kValueTooLarge);
  FormulaNormalize(&out);
  return out;
}

}  // namespace ledra
