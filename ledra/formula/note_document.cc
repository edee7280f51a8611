// Stored notes as formula documents, and selections over them.
#include "ledra/formula/note_document.h"

#include <cmath>
#include <cstring>
#include <memory>

#include "ledra/design_source.h"
#include "ledra/vxapi.h"

namespace ledra {
namespace {

constexpr char kReadOnly[] = "The document is read only here";
constexpr size_t kStoredDatetimeSize = 9;

bool SameFolded(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

double ReadDouble(const char* bytes) {
  uint64_t bits = 0;
  for (int i = 0; i < 8; ++i) bits |= static_cast<uint64_t>(static_cast<uint8_t>(bytes[i])) << (8 * i);
  double number = 0;
  std::memcpy(&number, &bits, sizeof number);
  return number;
}

void WriteDouble(double number, std::string* out) {
  uint64_t bits = 0;
  std::memcpy(&bits, &number, sizeof bits);
  for (int i = 0; i < 8; ++i) out->push_back(static_cast<char>((bits >> (8 * i)) & 0xff));
}

bool ReadDatetime(const char* bytes, Datetime* out) {
  uint64_t ticks = 0;
  for (int i = 0; i < 8; ++i) ticks |= static_cast<uint64_t>(static_cast<uint8_t>(bytes[i])) << (8 * i);
  const uint8_t flags = static_cast<uint8_t>(bytes[8]);
  Datetime value{static_cast<int64_t>(ticks), (flags & 1) != 0, (flags & 2) != 0};
  if (!value.has_date && !value.has_time) value.has_date = true;
  if (!DatetimeValid(value)) return false;
  *out = value;
  return true;
}

void WriteDatetime(const Datetime& value, std::string* out) {
  const uint64_t ticks = static_cast<uint64_t>(value.ticks);
  for (int i = 0; i < 8; ++i) out->push_back(static_cast<char>((ticks >> (8 * i)) & 0xff));
  out->push_back(static_cast<char>((value.has_date ? 1 : 0) | (value.has_time ? 2 : 0)));
}

// Converts into an existing value, keeping its vectors' capacity: a
// selection over many notes then makes no allocation for plain items.
void FromItemInto(const Item& item, FormulaValue* out) {
  out->texts.clear();
  out->numbers.clear();
  out->datetimes.clear();
  out->error.clear();
  if (item.type == kVXTypeText) {
    out->type = FormulaType::kText;
    out->texts.emplace_back(item.value);
    return;
  }
  Datetime time;
  if (item.type == kVXTypeDatetime && item.value.size() == kStoredDatetimeSize &&
      ReadDatetime(item.value.data(), &time)) {
    out->type = FormulaType::kDatetime;
    out->datetimes.push_back(time);
    return;
  }
  *out = FormulaFromItem(item);
}

}  // namespace

FormulaValue FormulaFromItem(const Item& item) {
  const std::string& v = item.value;
  switch (item.type) {
    case kVXTypeText:
      return FormulaText(v);
    case kVXTypeTextList:
    case kVXTypeAttachmentRef:
      return FormulaTextList(SplitTextList(v));
    case kVXTypeNumber:
    case kVXTypeNumberList: {
      if (v.empty() || v.size() % 8 != 0) return FormulaEmpty();
      std::vector<double> numbers;
      for (size_t i = 0; i < v.size(); i += 8) {
        const double number = ReadDouble(v.data() + i);
        numbers.push_back(std::isfinite(number) ? number : 0);
      }
      return FormulaNumberList(std::move(numbers));
    }
    case kVXTypeDatetime:
    case kVXTypeDatetimeList: {
      if (v.empty() || v.size() % kStoredDatetimeSize != 0) return FormulaEmpty();
      std::vector<Datetime> times;
      for (size_t i = 0; i < v.size(); i += kStoredDatetimeSize) {
        Datetime time;
        if (!ReadDatetime(v.data() + i, &time)) return FormulaEmpty();
        times.push_back(time);
      }
      return FormulaTimeList(std::move(times));
    }
    default:
      return FormulaEmpty();
  }
}

Item FormulaToItem(std::string_view name, const FormulaValue& value) {
  Item item;
  item.name = std::string(name);
  item.flags = kVXItemSummary;
  const bool list = value.size() > 1;
  switch (value.type) {
    case FormulaType::kText:
      if (list) {
        item.type = kVXTypeTextList;
        item.value = JoinTextList(value.texts);
      } else {
        item.type = kVXTypeText;
        item.value = value.texts.empty() ? std::string() : value.texts[0];
      }
      break;
    case FormulaType::kNumber:
      item.type = list ? kVXTypeNumberList : kVXTypeNumber;
      for (double number : value.numbers) WriteDouble(number, &item.value);
      break;
    case FormulaType::kDatetime:
      item.type = list ? kVXTypeDatetimeList : kVXTypeDatetime;
      for (const Datetime& time : value.datetimes) WriteDatetime(time, &item.value);
      break;
    case FormulaType::kError:
      item.type = kVXTypeText;
      break;
  }
  return item;
}

NoteDocument::NoteDocument(Note* note, const NoteContext* context)
    : note_(note), writable_(note), context_(context) {
  value_of_item_.assign(note->items.size(), -1);
}

NoteDocument::NoteDocument(const Note* note, const NoteContext* context)
    : note_(note), writable_(nullptr), context_(context) {
  value_of_item_.assign(note->items.size(), -1);
}

void NoteDocument::Reset(const Note* note) {
  note_ = note;
  writable_ = nullptr;
  used_ = 0;
  value_of_item_.assign(note->items.size(), -1);
  changed_ = false;
}

FormulaValue* NoteDocument::NextValue() {
  if (used_ == values_.size()) values_.emplace_back();
  return &values_[used_++];
}

const FormulaValue* NoteDocument::ReadItem(std::string_view name) {
  const std::vector<Item>& items = note_->items;
  for (size_t i = 0; i < items.size(); ++i) {
    if (!SameFolded(items[i].name, name)) continue;
    if (i >= value_of_item_.size()) value_of_item_.resize(items.size(), -1);
    if (value_of_item_[i] < 0) {
      FromItemInto(items[i], NextValue());
      value_of_item_[i] = static_cast<int32_t>(used_ - 1);
    }
    return &values_[static_cast<size_t>(value_of_item_[i])];
  }
  return nullptr;
}

bool NoteDocument::WriteItem(std::string_view name, const FormulaValue& value,
                             std::string* message) {
  if (writable_ == nullptr) {
    if (message != nullptr) *message = kReadOnly;
    return false;
  }
  if (name.empty() || value.IsError()) {
    if (message != nullptr) *message = name.empty() ? "An item needs a name" : "An error value cannot be stored";
    return false;
  }
  writable_->PutItem(FormulaToItem(name, value));
  changed_ = true;
  const std::vector<Item>& items = note_->items;
  value_of_item_.resize(items.size(), -1);
  for (size_t i = 0; i < items.size(); ++i) {
    if (!SameFolded(items[i].name, name)) continue;
    if (value_of_item_[i] < 0) {
      FromItemInto(items[i], NextValue());
      value_of_item_[i] = static_cast<int32_t>(used_ - 1);
    } else {
      FromItemInto(items[i], &values_[static_cast<size_t>(value_of_item_[i])]);
    }
    break;
  }
  return true;
}

std::string NoteDocument::Unid() { return UnidText(note_->unid); }

Datetime NoteDocument::Created() { return Datetime{note_->created, true, true}; }

Datetime NoteDocument::Modified() {
  return Datetime{note_->modified != 0 ? note_->modified : note_->created, true, true};
}

bool NoteDocument::GetEnvironment(std::string_view name, std::string* value) {
  if (!context_->platform_environment) return false;
  char buffer[4096];
  const std::string key(name);
  if (VXGetEnvironmentString(key.c_str(), buffer, sizeof buffer) != kVXOk) return false;
  if (buffer[0] == '\0') return false;
  *value = buffer;
  return true;
}

bool NoteDocument::SetEnvironment(std::string_view name, std::string_view value) {
  if (!context_->platform_environment) return false;
  const std::string key(name), text(value);
  return VXSetEnvironmentString(key.c_str(), text.c_str(), 1) == kVXOk;
}

bool NoteSelection::Compile(std::string_view text, std::string* message) {
  FormulaSyntaxError error;
  if (!Formula::Compile(text, &formula_, &error)) {
    *message = FormulaErrorText(error);
    return false;
  }
  selector_.reset();
  return true;
}

bool NoteSelection::Load(std::string_view compiled, std::string* message) {
  if (!Formula::Load(compiled, &formula_, message)) return false;
  selector_.reset();
  return true;
}

void NoteSelection::set_options(const FormulaOptions& options) {
  options_ = options;
  selector_.reset();
}

bool NoteSelection::Matches(const Note& note) {
  if (!selector_) selector_ = std::make_unique<FormulaSelector>(formula_, options_);
  if (!document_) {
    document_ = std::make_unique<NoteDocument>(&note, &context_);
  } else {
    document_->Reset(&note);
  }
  return selector_->Matches(document_.get());
}

}  // namespace ledra
