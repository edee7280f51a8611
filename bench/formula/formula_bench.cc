// Compiles the scheduler's selection formula once and evaluates it on
// 100,000 documents, against a hand-written C++ predicate that makes the
// same test on the same documents in the same run. Prints evaluations per
// second for both and their ratio (goal: the formula within 10x). Two
// kinds of documents: formula values in memory, and the store's notes
// (items in their stored form, as a view reads them), where each note's
// items are converted when the formula first reads them.
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "ledra/formula/formula.h"
#include "ledra/formula/note_document.h"
#include "ledra/note.h"

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

std::vector<Note> MakeNotes(const std::vector<MemoryDocument>& documents) {
  std::vector<Note> notes(documents.size());
  for (size_t i = 0; i < documents.size(); ++i) {
    notes[i].id = static_cast<VXNoteId>(i + 1);
    for (const char* name : {"Form", "Enabled", "NextActivation", "Title", "Frequency", "FrequencyUnits"}) {
      MemoryDocument& d = const_cast<MemoryDocument&>(documents[i]);
      notes[i].PutItem(FormulaToItem(name, *d.ReadItem(name)));
    }
  }
  return notes;
}

// The hand-written test on a stored note: find the items by name, compare
// the text bytes, decode the date-time (or read the text as one).
bool HandWrittenNote(const Note& note) {
  const Item* form = nullptr;
  const Item* enabled = nullptr;
  const Item* next = nullptr;
  for (const Item& item : note.items) {
    if (SameName(item.name, "Form")) form = &item;
    if (SameName(item.name, "Enabled")) enabled = &item;
    if (SameName(item.name, "NextActivation")) next = &item;
  }
  if (form == nullptr || form->type != kVXTypeText || form->value != "Schedule") return false;
  if (enabled == nullptr || enabled->type != kVXTypeText || enabled->value != "Enabled") return false;
  if (next == nullptr) return false;
  const Datetime now = DatetimeNow();
  if (next->type == kVXTypeDatetime && next->value.size() == 9) {
    int64_t ticks = 0;
    for (int i = 7; i >= 0; --i) ticks = (ticks << 8) | static_cast<uint8_t>(next->value[i]);
    return now.ticks > ticks;
  }
  Datetime parsed;
  if (next->type != kVXTypeText || !DatetimeParse(next->value, &parsed)) return false;
  return now.ticks > parsed.ticks;
}

template <typename Documents, typename F>
double Measure(const char* name, Documents& documents, F predicate, int* matched) {
  double best = 1e30;
  for (int round = 0; round < kRounds; ++round) {
    int count = 0;
    const auto start = std::chrono::steady_clock::now();
    for (auto& document : documents) count += predicate(document) ? 1 : 0;
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (seconds < best) best = seconds;
    *matched = count;
  }
  std::printf("%-30s %8d documents, %6d selected, best of %d: %8.2f ms, %12.0f evaluations/s\n",
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
  const double hand = Measure("hand-written, memory documents", documents,
                              [](MemoryDocument& d) { return HandWritten(&d); }, &by_hand);
  const double interpreted = Measure("formula, memory documents", documents,
                                     [&](MemoryDocument& d) { return selector.Matches(&d); },
                                     &by_formula);
  std::printf("ratio formula / hand-written (memory documents): %.2fx (goal: within 10x)\n",
              interpreted / hand);
  bool agree = by_hand == by_formula;

  std::vector<Note> notes = MakeNotes(documents);
  NoteSelection selection;
  if (!selection.Load(formula.Compiled(), &message)) {
    std::fprintf(stderr, "load: %s\n", message.c_str());
    return 1;
  }
  int notes_by_hand = 0, notes_by_formula = 0;
  const double hand_notes = Measure("hand-written, stored notes", notes,
                                    [](const Note& n) { return HandWrittenNote(n); }, &notes_by_hand);
  const double formula_notes = Measure("formula, stored notes", notes,
                                       [&](const Note& n) { return selection.Matches(n); },
                                       &notes_by_formula);
  std::printf("ratio formula / hand-written (stored notes): %.2fx (goal: within 10x)\n",
              formula_notes / hand_notes);
  agree = agree && notes_by_hand == notes_by_formula && by_hand == notes_by_hand;
  if (!agree) {
    std::printf("MISMATCH: selections differ (%d, %d, %d, %d)\n", by_hand, by_formula, notes_by_hand,
                notes_by_formula);
    return 1;
  }
  return 0;
}
