// MemoryDocument: items and environment strings in ordered maps, keyed by
// their lower-cased names so that lookups ignore letter case.
#include "ledra/formula/formula_document.h"

namespace ledra {

std::string FormulaFoldCase(std::string_view name) {
  std::string folded(name);
  for (char& c : folded) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return folded;
}

namespace {

// Folds into a small stack buffer when the name is short, so that reading
// an item costs no allocation.
template <typename Map>
auto FindFolded(Map& map, std::string_view name) {
  char buffer[64];
  if (name.size() <= sizeof buffer) {
    for (size_t i = 0; i < name.size(); ++i) {
      const char c = name[i];
      buffer[i] = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    }
    return map.find(std::string_view(buffer, name.size()));
  }
  return map.find(std::string_view(FormulaFoldCase(name)));
}

}  // namespace

const FormulaValue* MemoryDocument::ReadItem(std::string_view name) {
  auto it = FindFolded(items_, name);
  return it == items_.end() ? nullptr : &it->second;
}

bool MemoryDocument::WriteItem(std::string_view name, const FormulaValue& value,
                               std::string* message) {
  if (name.empty()) {
    if (message != nullptr) *message = "An item needs a name";
    return false;
  }
  if (value.IsError()) {
    if (message != nullptr) *message = "An error value cannot be stored";
    return false;
  }
  SetItem(name, value);
  return true;
}

void MemoryDocument::SetItem(std::string_view name, FormulaValue value) {
  FormulaNormalize(&value);
  items_[FormulaFoldCase(name)] = std::move(value);
}

bool MemoryDocument::RemoveItem(std::string_view name) {
  auto it = FindFolded(items_, name);
  if (it == items_.end()) return false;
  items_.erase(it);
  return true;
}

bool MemoryDocument::GetEnvironment(std::string_view name, std::string* value) {
  auto it = environment.find(FormulaFoldCase(name));
  if (it == environment.end()) return false;
  *value = it->second;
  return true;
}

bool MemoryDocument::SetEnvironment(std::string_view name, std::string_view value) {
  environment[FormulaFoldCase(name)] = std::string(value);
  return true;
}

}  // namespace ledra
