// Field formulas of forms: the Schedule form's NextSuggestedActivation,
// defaults and validation.
#include "ledra/formula/form_formulas.h"

#include <gtest/gtest.h>

#include "ledra/formula/formula.h"

namespace ledra {
namespace {

Datetime At(const char* text) {
  Datetime value;
  EXPECT_TRUE(DatetimeParse(text, &value)) << text;
  return value;
}

FormulaOptions FixedClock() {
  FormulaOptions options;
  options.fixed_now = true;
  options.now = At("12/08/2026 14:03:00");
  return options;
}

TEST(FormFormulas, ScheduleNextSuggestedActivation) {
  const std::vector<FieldFormulas> form = {
      {"NextSuggestedActivation", "", kScheduleNextSuggestedActivationFormula, ""}};
  const struct {
    FormulaValue last;
    const char* frequency;
    const char* units;
    const char* expected;
  } cases[] = {
      {FormulaTime(At("12/08/2026 14:00:00")), "1", "hours", "12/08/2026 15:00:00"},
      {FormulaTime(At("12/08/2026 14:00:00")), "1", "days", "12/09/2026 14:00:00"},
      {FormulaTime(At("12/08/2026 14:00:00")), "15", "minutes", "12/08/2026 14:15:00"},
      {FormulaTime(At("12/31/2026 23:50:00")), "15", "minutes", "01/01/2027 00:05:00"},
      {FormulaTime(At("12/08/2026 14:00:00")), "7", "Days", "12/15/2026 14:00:00"},
      {FormulaTime(At("12/08/2026 14:00:00")), " 2 ", " HOURS ", "12/08/2026 16:00:00"},
      {FormulaText("1/1/95"), "1", "days", "01/02/1995"},
      {FormulaTime(At("12/08/2026 14:00:00")), "0", "days", "12/08/2026 14:00:00"},
      {FormulaTime(At("12/08/2026 14:00:00")), "", "days", "12/08/2026 14:00:00"},
      {FormulaTime(At("12/08/2026 14:00:00")), "-3", "hours", "12/08/2026 14:00:00"},
      {FormulaText(""), "1", "hours", "12/08/2026 15:03:00"},
  };
  for (const auto& c : cases) {
    MemoryDocument document;
    document.SetItem("Form", FormulaText("Schedule"));
    document.SetItem("LastActivation", c.last);
    document.SetItem("Frequency", FormulaText(c.frequency));
    document.SetItem("FrequencyUnits", FormulaText(c.units));
    std::string message;
    ASSERT_TRUE(FormulaComputeFields(form, &document, FixedClock(), &message)) << message;
    const FormulaValue* next = document.ReadItem("NextSuggestedActivation");
    ASSERT_NE(next, nullptr);
    ASSERT_EQ(next->type, FormulaType::kDatetime) << FormulaToText(*next);
    EXPECT_EQ(DatetimeFormat(next->datetimes[0]), c.expected)
        << c.frequency << " " << c.units;
  }
}

TEST(FormFormulas, ComputedFieldsSeeEarlierOnes) {
  const std::vector<FieldFormulas> form = {
      {"A", "", "B + 1", ""}, {"B", "", "10", ""}, {"C", "", "A + B", ""}};
  MemoryDocument document;
  document.SetItem("B", FormulaNumber(1));
  std::string message;
  ASSERT_TRUE(FormulaComputeFields(form, &document, FixedClock(), &message)) << message;
  EXPECT_EQ(document.ReadItem("A")->numbers[0], 2);
  EXPECT_EQ(document.ReadItem("C")->numbers[0], 12);

  const std::vector<FieldFormulas> broken = {{"A", "", "1", ""}, {"D", "", "1 / 0", ""},
                                             {"E", "", "@Nope", ""}};
  ASSERT_FALSE(FormulaComputeFields(broken, &document, FixedClock(), &message));
  EXPECT_EQ(message, "Field D: Division by zero at position 3");
  EXPECT_EQ(document.ReadItem("E"), nullptr);
  ASSERT_FALSE(FormulaComputeFields({broken[2]}, &document, FixedClock(), &message));
  EXPECT_EQ(message, "Field E: Unknown @function at position 1");
}

TEST(FormFormulas, Defaults) {
  const std::vector<FieldFormulas> form = {{"Author", "@V3UserName", "", ""},
                                           {"Title", "\"Untitled\"", "", ""},
                                           {"Broken", "1 / 0", "", ""},
                                           {"Plain", "", "", ""},
                                           {"Stamp", "@Now", "", ""}};
  MemoryDocument document;
  document.user_name = "Ann Smith";
  EXPECT_EQ(FormulaFillDefaults(form, &document, FixedClock()), 3);
  EXPECT_EQ(document.ReadItem("Author")->texts[0], "Ann Smith");
  EXPECT_EQ(document.ReadItem("Title")->texts[0], "Untitled");
  EXPECT_EQ(document.ReadItem("Broken"), nullptr);
  EXPECT_EQ(document.ReadItem("Plain"), nullptr);
  EXPECT_EQ(DatetimeFormat(document.ReadItem("Stamp")->datetimes[0]), "12/08/2026 14:03:00");
}

TEST(FormFormulas, Validation) {
  const std::vector<FieldFormulas> form = {
      {"Title", "", "", "@If(Title = \"\"; @Failure(\"Please enter a title\"); @Success)"},
      {"Port", "", "", "@TextToNumber(Port) > 0"},
      {"Other", "", "", ""}};
  const struct {
    const char* title;
    const char* port;
    bool valid;
    const char* message;
  } cases[] = {
      {"Home", "8080", true, ""},
      {"", "8080", false, "Please enter a title"},
      {"Home", "0", false, "Field Port is not valid"},
      {"Home", "x", false,
       "Field Port: The value cannot be converted to a number at position 1"},
  };
  for (const auto& c : cases) {
    MemoryDocument document;
    document.SetItem("Title", FormulaText(c.title));
    document.SetItem("Port", FormulaText(c.port));
    std::string message;
    EXPECT_EQ(FormulaValidateFields(form, &document, FixedClock(), &message), c.valid);
    EXPECT_EQ(message, c.message);
  }
}

}  // namespace
}  // namespace ledra
