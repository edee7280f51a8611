// The formula language's limits and entry points: nesting, list sizes and
// work are bounded; compiled forms are checked when read; the selector can
// be reused from note to note.
#include "ledra/formula/formula.h"

#include <gtest/gtest.h>

#include <string>

#include "ledra/formula/compiled_form.h"

namespace ledra {
namespace {

FormulaValue Evaluate(const std::string& text, MemoryDocument* document = nullptr) {
  Formula formula;
  FormulaSyntaxError error;
  EXPECT_TRUE(Formula::Compile(text, &formula, &error)) << FormulaErrorText(error);
  MemoryDocument scratch;
  return FormulaEvaluate(formula, document != nullptr ? document : &scratch).value;
}

std::string CompileError(const std::string& text) {
  Formula formula;
  FormulaSyntaxError error;
  if (Formula::Compile(text, &formula, &error)) return "compiled";
  return error.message;
}

std::string Repeat(const std::string& part, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += part;
  return out;
}

TEST(Formula, NestingIsBounded) {
  const std::string deep = "Formula is nested too deeply";
  const struct {
    std::string text;
    std::string result;
  } cases[] = {
      {Repeat("(", 150) + "1" + Repeat(")", 150), "compiled"},
      {Repeat("(", 20000) + "1" + Repeat(")", 20000), deep},
      {Repeat("-", 20000) + "1", deep},
      {Repeat("!", 20000) + "1", deep},
      {Repeat("@Abs(", 20000) + "1" + Repeat(")", 20000), deep},
      {"1" + Repeat(" + 1", 150), "compiled"},
      {"1" + Repeat(" + 1", 5000), deep},
      {"a := 1" + Repeat("; a := a + 1", 5000), "compiled"},
      {Repeat("1:", 5000) + "1", "compiled"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CompileError(c.text), c.result) << c.text.substr(0, 40);
  }
  const FormulaValue value = Evaluate("a := 1" + Repeat("; a := a + 1", 5000));
  ASSERT_EQ(value.type, FormulaType::kNumber);
  EXPECT_EQ(value.numbers[0], 5001);
}

TEST(Formula, ListsAndTextAreBounded) {
  // Doubling a list or a text until it passes the limits gives an error
  // value, not an exhausted machine.
  const std::string doubling_list = "x := \"a\" : \"b\"" + Repeat("; x := x : x", 20) + "; @Elements(x)";
  FormulaValue value = Evaluate(doubling_list);
  ASSERT_TRUE(value.IsError());
  EXPECT_EQ(value.error, "Value exceeds the size limit of a list");

  const std::string doubling_text = "x := \"abcdefgh\"" + Repeat("; x := x + x", 30) + "; @Length(x)";
  value = Evaluate(doubling_text);
  ASSERT_TRUE(value.IsError());
  EXPECT_EQ(value.error, "Value exceeds the size limit of a list");

  const std::string permuted = "x := \"a\" : \"b\"" + Repeat("; x := x : x", 14) + "; x *= x";
  value = Evaluate(permuted);
  ASSERT_TRUE(value.IsError()) << FormulaToText(value);

  const std::string replace = "x := \"aaaaaaaa\"" + Repeat("; x := x + x", 18) +
                              "; @Length(@ReplaceSubstring(x; \"a\"; \"aaaaaaaaaaaaaaaaa\"))";
  value = Evaluate(replace);
  ASSERT_TRUE(value.IsError());
}

TEST(Formula, WorkIsBounded) {
  // Each statement copies a large text; together they pass the work limit.
  const std::string text = "x := \"abcdefgh\"" + Repeat("; x := x + x", 18) +
                           Repeat("; y := x + \"\"", 40) + "; 1";
  const FormulaValue value = Evaluate(text);
  ASSERT_TRUE(value.IsError());
  EXPECT_EQ(value.error, "Formula exceeds the work limit of one evaluation");
}

TEST(Formula, CompiledFormIsCheckedWhenRead) {
  Formula formula;
  FormulaSyntaxError error;
  ASSERT_TRUE(Formula::Compile(
      "SELECT Form = \"Schedule\" & @Now > NextActivation; FIELD x := @If(a; 1 : 2; -3); REM \"r\"",
      &formula, &error));
  const std::string bytes = formula.Compiled();
  // Every truncation and every single-byte change is either refused or
  // reads as some formula; none crashes.
  for (size_t n = 0; n < bytes.size(); ++n) {
    Formula loaded;
    std::string message;
    EXPECT_FALSE(Formula::Load(bytes.substr(0, n), &loaded, &message)) << n;
    EXPECT_FALSE(message.empty());
  }
  for (size_t i = 0; i < bytes.size(); ++i) {
    for (int bit = 0; bit < 8; ++bit) {
      std::string changed = bytes;
      changed[i] = static_cast<char>(changed[i] ^ (1 << bit));
      Formula loaded;
      std::string message;
      if (Formula::Load(changed, &loaded, &message)) {
        MemoryDocument document;
        (void)FormulaEvaluate(loaded, &document);
        Formula again;
        EXPECT_TRUE(Formula::Compile(loaded.Text(), &again, &error)) << loaded.Text();
      }
    }
  }
  const struct {
    std::string bytes;
    std::string message;
  } refused[] = {
      {"", "not a compiled formula"},
      {"XX\x01", "not a compiled formula"},
      {std::string("LF\x02\x00", 4), "unknown compiled formula version"},
      {bytes + "x", "trailing bytes after the formula"},
  };
  for (const auto& c : refused) {
    Formula loaded;
    std::string message;
    EXPECT_FALSE(Formula::Load(c.bytes, &loaded, &message));
    EXPECT_EQ(message, c.message);
  }
  // Nesting beyond the limit is refused in a compiled form too.
  std::string deep("LF\x01\x01", 4);
  for (int i = 0; i < 300; ++i) deep += std::string("\x04\x01\x01", 3);  // unary minus
  deep += std::string("\x01\x01\x01", 3) + std::string(8, '\0');
  Formula loaded;
  std::string message;
  EXPECT_FALSE(Formula::Load(deep, &loaded, &message));
  EXPECT_EQ(message, "compiled formula nested too deeply");
}

TEST(Formula, CompiledFormKeepsPositionsForErrors) {
  Formula formula;
  FormulaSyntaxError error;
  ASSERT_TRUE(Formula::Compile("x := 1;\ny := x / 0", &formula, &error));
  Formula loaded;
  std::string message;
  ASSERT_TRUE(Formula::Load(formula.Compiled(), &loaded, &message));
  MemoryDocument document;
  const FormulaResult result = FormulaEvaluate(loaded, &document);
  ASSERT_FALSE(result.ok());
  EXPECT_EQ(FormulaErrorText(result.value), "Division by zero at position 16");
  ASSERT_FALSE(Formula::Compile("@Nope", &formula, &error));
  EXPECT_EQ(FormulaErrorText(error), "Unknown @function at position 1");
}

TEST(Formula, SelectorIsReusedAcrossDocuments) {
  Formula formula;
  FormulaSyntaxError error;
  ASSERT_TRUE(Formula::Compile("Select Form = \"A\" & n := 1; n", &formula, &error) == false);
  ASSERT_TRUE(Formula::Compile("t := Form; Select t = \"A\" | Count > 2", &formula, &error));
  FormulaSelector selector(formula);
  const struct {
    const char* form;
    double count;
    bool selected;
  } cases[] = {
      {"A", 0, true}, {"B", 0, false}, {"B", 3, true}, {"A", 5, true}, {"", 1, false},
  };
  for (const auto& c : cases) {
    MemoryDocument document;
    document.SetItem("Form", FormulaText(c.form));
    document.SetItem("Count", FormulaNumber(c.count));
    EXPECT_EQ(selector.Matches(&document), c.selected) << c.form << " " << c.count;
  }
  // Without SELECT, a true number selects.
  ASSERT_TRUE(Formula::Compile("Count > 2", &formula, &error));
  FormulaSelector plain(formula);
  MemoryDocument document;
  document.SetItem("Count", FormulaNumber(3));
  EXPECT_TRUE(plain.Matches(&document));
  document.SetItem("Count", FormulaText("x"));
  EXPECT_FALSE(plain.Matches(&document));
}

TEST(Formula, AssignmentInsideAnOperandIsSeenInOrder) {
  MemoryDocument document;
  document.SetItem("X", FormulaText("a"));
  // The left operand is read before the right one changes the item.
  FormulaValue value = Evaluate("X + @Do(FIELD X := \"b\"; \"c\")", &document);
  ASSERT_EQ(value.type, FormulaType::kText);
  EXPECT_EQ(value.texts[0], "ac");
  value = Evaluate("t := \"a\"; t + @Do(t := \"b\"; \"c\") + t", &document);
  EXPECT_EQ(value.texts[0], "acb");
}

TEST(Formula, UniqueWithoutArgumentsDiffers) {
  const FormulaValue a = Evaluate("@Unique");
  const FormulaValue b = Evaluate("@Unique");
  ASSERT_EQ(a.type, FormulaType::kText);
  EXPECT_EQ(a.texts[0].size(), 25u);
  EXPECT_NE(a.texts[0], b.texts[0]);
}

TEST(Formula, ClockIsReadOncePerEvaluation) {
  const FormulaValue value = Evaluate("@Now = @Now & @Today = @Date(@Now)");
  ASSERT_EQ(value.type, FormulaType::kNumber);
  EXPECT_EQ(value.numbers[0], 1);
}

}  // namespace
}  // namespace ledra
