// Dialog descriptions and the headless way of showing them.
#include "os/dialog.h"

#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <iostream>

#include "os/desktop.h"
#include "os/desktop_backend.h"
#include "os/desktop_internal.h"

namespace os {

namespace {

std::string Trim(std::string_view text) {
  size_t begin = 0, end = text.size();
  while (begin < end && std::isspace(static_cast<unsigned char>(text[begin]))) ++begin;
  while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
  return std::string(text.substr(begin, end - begin));
}

// A label as the script names it: no blanks around it, no trailing ':' or
// "...", any case.
std::string LabelKey(std::string_view label) {
  std::string key = Trim(label);
  if (!key.empty() && key[0] == '#') key.erase(0, 1);  // "#1037" as the prompt shows ids
  while (!key.empty() && (key.back() == ':' || key.back() == '.')) key.pop_back();
  key = Trim(key);
  for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return key;
}

// Cuts at `limit` bytes without splitting a UTF-8 sequence.
void CutAtCharacter(std::string& text, size_t limit) {
  if (limit == 0 || text.size() <= limit) return;
  size_t end = limit;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  text.resize(end);
}

bool ReadFlag(std::string_view word, bool* flag) {
  std::string w = LabelKey(word);
  if (w == "on" || w == "yes" || w == "y" || w == "1" || w == "checked" || w == "true")
    return *flag = true, true;
  if (w == "off" || w == "no" || w == "n" || w == "0" || w == "unchecked" || w == "false")
    return *flag = false, true;
  return false;
}

// Splits at ';' outside "\;".
std::vector<std::string> SplitPieces(std::string_view line) {
  std::vector<std::string> pieces;
  std::string piece;
  for (size_t i = 0; i < line.size(); ++i) {
    if (line[i] == '\\' && i + 1 < line.size() && line[i + 1] == ';') {
      piece += ';';
      ++i;
    } else if (line[i] == ';') {
      pieces.push_back(piece);
      piece.clear();
    } else {
      piece += line[i];
    }
  }
  pieces.push_back(piece);
  return pieces;
}

// Applies one answer line to the dialog as a user's clicks; the button
// pressed lands in *button (kIdOk when the line names none).
void ApplyAnswer(Dialog& dialog, std::string_view line, int* button) {
  *button = kIdOk;
  for (const std::string& raw : SplitPieces(line)) {
    std::string piece = Trim(raw);
    if (piece.empty()) continue;
    size_t equals = piece.find('=');
    std::string name = equals == std::string::npos ? piece : Trim(piece.substr(0, equals));
    DialogControl* control = dialog.FindByName(name);
    bool done = false;
    if (control != nullptr && equals != std::string::npos) {
      std::string value = piece.substr(equals + 1);
      // Values keep their inner blanks; only the one after '=' is dropped.
      if (!value.empty() && value[0] == ' ') value.erase(0, 1);
      bool flag = false;
      if (control->kind == ControlKind::kEdit) {
        done = dialog.UserType(control->id, value);
      } else if (control->kind == ControlKind::kCheckBox && ReadFlag(value, &flag)) {
        done = dialog.UserCheck(control->id, flag);
      } else if (control->kind == ControlKind::kRadio && ReadFlag(value, &flag) && flag) {
        done = dialog.UserSelectRadio(control->id);
      }
    } else if (control != nullptr) {
      if (control->kind == ControlKind::kRadio) done = dialog.UserSelectRadio(control->id);
      if (control->kind == ControlKind::kCheckBox) done = dialog.UserCheck(control->id, true);
      if (control->kind == ControlKind::kButton) *button = control->id, done = true;
    }
    if (!done) desktop_internal::Show("  (ignored: \"" + piece + "\")");
  }
}

void ShowDialog(const Dialog& dialog) {
  desktop_internal::Show("[" + dialog.Caption() + "] (dialog " +
                         std::to_string(dialog.ResourceId()) + ")");
  for (const DialogControl& c : dialog.Controls()) {
    std::string line = "  ";
    switch (c.kind) {
      case ControlKind::kStatic:
        line += c.label;
        break;
      case ControlKind::kEdit:
        line += c.label + (c.label.empty() ? "" : " ") + "[" + c.text + "]";
        break;
      case ControlKind::kCheckBox:
        line += std::string(c.checked ? "[x] " : "[ ] ") + c.label;
        break;
      case ControlKind::kRadio:
        line += std::string(c.checked ? "(*) " : "( ) ") + c.label;
        break;
      case ControlKind::kButton:
        line += "<" + c.label + ">";
        break;
    }
    if (c.id > 0 && c.kind != ControlKind::kStatic) line += " #" + std::to_string(c.id);
    if (!c.enabled) line += " (disabled)";
    desktop_internal::Show(line);
  }
}

bool ChooseFile(bool save, const Window* owner, std::string_view title, std::string_view filter,
                std::string* path, const std::vector<std::string>& proposals = {}) {
  auto guard = desktop_internal::Lock();
  desktop_internal::Show("[" + std::string(title) + "] (" + (save ? "save" : "open") + " file" +
                         (filter.empty() ? "" : ", " + std::string(filter)) + ")");
  for (const std::string& proposal : proposals) desktop_internal::Show("  proposed " + proposal);
  std::string answer;
  bool chosen = false;
  DesktopBackend* backend = desktop_internal::ScriptNamed() ? nullptr : Backend();
  if (backend != nullptr) {
    answer = *path;
    chosen = backend->ChooseFile(save, owner, title, filter, proposals, &answer);
  } else if (desktop_internal::ScriptNamed()) {
    chosen = desktop_internal::TakeScriptLine(AnswerKind::kFile, title, &answer);
  } else if (::isatty(STDIN_FILENO)) {
    std::fprintf(stderr, "File (empty: Cancel)? ");
    chosen = static_cast<bool>(std::getline(std::cin, answer));
    answer = Trim(answer);
  }
  if (!chosen || answer.empty()) {
    desktop_internal::Show("  answered Cancel");
    return false;
  }
  desktop_internal::Show("  chose " + answer);
  *path = answer;
  return true;
}

}  // namespace

void Dialog::AddStatic(std::string label, int id) {
  DialogControl c;
  c.id = id;
  c.label = std::move(label);
  controls_.push_back(std::move(c));
}

void Dialog::AddEdit(int id, std::string label, std::string text, size_t max_length,
                     bool multi_line) {
  DialogControl c;
  c.id = id;
  c.kind = ControlKind::kEdit;
  c.label = std::move(label);
  c.text = std::move(text);
  c.max_length = max_length;
  c.multi_line = multi_line;
  controls_.push_back(std::move(c));
}

void Dialog::AddCheckBox(int id, std::string label, bool checked) {
  DialogControl c;
  c.id = id;
  c.kind = ControlKind::kCheckBox;
  c.label = std::move(label);
  c.checked = checked;
  controls_.push_back(std::move(c));
}

void Dialog::AddRadio(int id, std::string label, int group, bool checked) {
  DialogControl c;
  c.id = id;
  c.kind = ControlKind::kRadio;
  c.label = std::move(label);
  c.group = group;
  controls_.push_back(std::move(c));
  if (checked) SetChecked(id, true);
}

void Dialog::AddButton(int id, std::string label, bool is_default) {
  DialogControl c;
  c.id = id;
  c.kind = ControlKind::kButton;
  c.label = std::move(label);
  c.is_default = is_default;
  controls_.push_back(std::move(c));
}

void Dialog::SameRow() {
  if (!controls_.empty()) controls_.back().same_row = true;
}

DialogControl* Dialog::Find(int id) {
  for (DialogControl& c : controls_)
    if (c.id == id && id > 0) return &c;
  return nullptr;
}

const DialogControl* Dialog::Find(int id) const {
  return const_cast<Dialog*>(this)->Find(id);
}

DialogControl* Dialog::FindByName(std::string_view name) {
  std::string key = LabelKey(name);
  if (key.empty()) return nullptr;
  bool numeric = key.find_first_not_of("0123456789") == std::string::npos;
  for (DialogControl& c : controls_) {
    if (c.id <= 0 || c.kind == ControlKind::kStatic || !c.enabled) continue;
    if (numeric ? std::to_string(c.id) == key : LabelKey(c.label) == key) return &c;
  }
  // An edit is often named by the static text before it ("Name:").
  if (!numeric) {
    for (size_t i = 0; i + 1 < controls_.size(); ++i)
      if (controls_[i].kind == ControlKind::kStatic && LabelKey(controls_[i].label) == key &&
          controls_[i + 1].kind == ControlKind::kEdit && controls_[i + 1].enabled)
        return &controls_[i + 1];
  }
  return nullptr;
}

std::string Dialog::Text(int id) const {
  const DialogControl* c = Find(id);
  return c != nullptr ? c->text : std::string();
}

bool Dialog::Checked(int id) const {
  const DialogControl* c = Find(id);
  return c != nullptr && c->checked;
}

void Dialog::SetText(int id, std::string text) {
  if (DialogControl* c = Find(id)) {
    CutAtCharacter(text, c->max_length);
    c->text = std::move(text);
  }
}

void Dialog::SetChecked(int id, bool checked) {
  DialogControl* c = Find(id);
  if (c == nullptr) return;
  if (c->kind == ControlKind::kRadio && checked)
    for (DialogControl& other : controls_)
      if (other.kind == ControlKind::kRadio && other.group == c->group) other.checked = false;
  c->checked = checked;
}

void Dialog::SetEnabled(int id, bool enabled) {
  if (DialogControl* c = Find(id)) c->enabled = enabled;
}

int Dialog::SelectedRadio(int group) const {
  for (const DialogControl& c : controls_)
    if (c.kind == ControlKind::kRadio && c.group == group && c.checked) return c.id;
  return 0;
}

bool Dialog::UserType(int id, std::string text) {
  DialogControl* c = Find(id);
  if (c == nullptr || !c->enabled || c->kind != ControlKind::kEdit) return false;
  SetText(id, std::move(text));
  if (rule_) rule_(*this, id);
  return true;
}

bool Dialog::UserCheck(int id, bool checked) {
  DialogControl* c = Find(id);
  if (c == nullptr || !c->enabled || c->kind != ControlKind::kCheckBox) return false;
  c->checked = checked;
  if (rule_) rule_(*this, id);
  return true;
}

bool Dialog::UserSelectRadio(int id) {
  DialogControl* c = Find(id);
  if (c == nullptr || !c->enabled || c->kind != ControlKind::kRadio) return false;
  SetChecked(id, true);
  if (rule_) rule_(*this, id);
  return true;
}

void Dialog::Open() {
  if (rule_) rule_(*this, 0);
}

int RunDialog(const Window* owner, Dialog& dialog) {
  auto guard = desktop_internal::Lock();
  dialog.Open();
  ShowDialog(dialog);
  std::string answer;
  bool answered = false;
  int button = kIdCancel;
  DesktopBackend* backend = desktop_internal::ScriptNamed() ? nullptr : Backend();
  if (backend != nullptr) {
    button = backend->RunDialog(owner, dialog);
  } else if (desktop_internal::ScriptNamed()) {
    answered = desktop_internal::TakeScriptLine(AnswerKind::kDialog, dialog.Caption(), &answer);
  } else if (::isatty(STDIN_FILENO)) {
    std::fprintf(stderr,
                 "Changes as \"#id=value; label=value; Button\" (empty: OK, \"Cancel\" cancels)? ");
    answered = static_cast<bool>(std::getline(std::cin, answer));
  }
  if (answered) ApplyAnswer(dialog, answer, &button);
  dialog.result = button;
  const DialogControl* pressed = dialog.Find(button);
  desktop_internal::Show("  pressed " + (pressed != nullptr ? pressed->label : "Cancel"));
  return button;
}

bool ChooseOpenFile(const Window* owner, std::string_view title, std::string_view filter,
                    std::string* path) {
  return ChooseFile(false, owner, title, filter, path);
}

bool ChooseOpenFile(const Window* owner, std::string_view title, std::string_view filter,
                    std::string* path, const std::vector<std::string>& proposals) {
  return ChooseFile(false, owner, title, filter, path, proposals);
}

bool ChooseSaveFile(const Window* owner, std::string_view title, std::string_view filter,
                    std::string* path) {
  return ChooseFile(true, owner, title, filter, path);
}

}  // namespace os
