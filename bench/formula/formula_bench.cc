// Compiles the scheduler's selection formula once and evaluates it on
// 100,000 documents, against a hand-written C++ predicate that makes the
// same test on the same documents in the same run. Prints evaluations per
// second for both and their ratio (goal: the formula within 10x).
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "ledra/formula/formula.h"

namespace {

using namespace ledra;

constexpr int kDocuments = 100000;
constexpr int kRounds = 5;
constexpr char kSelection[] =
    "Select Form=\"Schedule\" & Enabled=\"Enabled\" & (@Now > NextActivation)";

std::vector<MemoryDocument> MakeDocuments() {
  std::vector<MemoryDocument> documents(kDocuments);
  const Datetime now = DatetimeNow();
  for (int i = 0; i < kDocuments; ++i) {
    MemoryDocument& d = documents[i];
    d.SetItem("Form", FormulaText(i % 3 == 0 ? "Schedule" : (i % 3 == 1 ? "Web Element Replica" : "Server")));
    d.SetItem("Enabled", FormulaText(i % 2 == 0 ? "Enabled" : "Disabled"));
    if (i % 10 == 0) {
      d.SetItem("NextActivation", FormulaText("1/1/95"));
    } else {
      Datetime next = now;
      next.ticks += (i % 7 - 3) * kTicksPerHour;
      d.SetItem("NextActivation", FormulaTime(next));
    }
    d.SetItem("Title", FormulaText("Favourite " + std::to_string(i)));
    d.SetItem("Frequency", FormulaText("1"));
    d.SetItem("FrequencyUnits", FormulaText("days"));
  }
  return documents;
}

// The same test written by hand against the same document interface.
bool HandWritten(FormulaDocument* document) {
  const FormulaValue* form = document->ReadItem("Form");
  if (form == nullptr || form->type != FormulaType::kText || form->texts[0] != "Schedule") {
    return false;
  }
  const FormulaValue* enabled = document->ReadItem("Enabled");
  if (enabled == nullptr || enabled->type != FormulaType::kText || enabled->texts[0] != "Enabled") {
    return false;
  }
  const FormulaValue* next = document->ReadItem("NextActivation");
  if (next == nullptr) return false;
  const Datetime now = DatetimeNow();
  if (next->type == FormulaType::kDatetime) return now.ticks > next->datetimes[0].ticks;
  Datetime parsed;
  if (next->type != FormulaType::kText || !DatetimeParse(next->texts[0], &parsed)) return false;
  return now.ticks > parsed.ticks;
}

template <typename F>
double Measure(const char* name, std::vector<MemoryDocument>& documents, F predicate, int* matched) {
  double best = 1e30;
  for (int round = 0; round < kRounds; ++round) {
    int count = 0;
    const auto start = std::chrono::steady_clock::now();
    for (MemoryDocument& document : documents) count += predicate(&document) ? 1 : 0;
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (seconds < best) best = seconds;
    *matched = count;
  }
  std::printf("%-24s %8d documents, %6d selected, best of %d: %8.2f ms, %12.0f evaluations/s\n",
              name, kDocuments, *matched, kRounds, best * 1000, kDocuments / best);
  return best;
}

}  // namespace

int main() {
  std::vector<MemoryDocument> documents = MakeDocuments();
  Formula formula;
  FormulaSyntaxError error;
  if (!Formula::Compile(kSelection, &formula, &error)) {
    std::fprintf(stderr, "compile: %s\n", FormulaErrorText(error).c_str());
    return 1;
  }
  // Compiled once and read back from its compiled form, as a view does.
  Formula loaded;
  std::string message;
  if (!Formula::Load(formula.Compiled(), &loaded, &message)) {
    std::fprintf(stderr, "load: %s\n", message.c_str());
    return 1;
  }
  std::printf("formula: %s\n", loaded.Text().c_str());
  FormulaSelector selector(loaded);
  int by_hand = 0, by_formula = 0;
  const double hand = Measure("hand-written predicate", documents, HandWritten, &by_hand);
  const double interpreted = Measure("formula", documents,
                                     [&](FormulaDocument* d) { return selector.Matches(d); },
                                     &by_formula);
  std::printf("ratio formula / hand-written: %.2fx (goal: within 10x)\n", interpreted / hand);
  if (by_hand != by_formula) {
    std::printf("MISMATCH: %d selected by hand, %d by the formula\n", by_hand, by_formula);
    return 1;
  }
  return 0;
}
