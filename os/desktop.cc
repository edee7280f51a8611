// Headless desktop: window queues, trace list, scripted message boxes, keys.
#include "os/desktop.h"

#include "os/desktop_backend.h"
#include "os/desktop_internal.h"

#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <atomic>
#include <fstream>
#include <iostream>

namespace os {

namespace {
std::atomic<DesktopBackend*> the_backend{nullptr};
}  // namespace

DesktopBackend* Backend() {
  return the_backend.load();
}

void SetDesktopBackend(DesktopBackend* backend) {
  the_backend = backend;
}

bool DesktopWindowed() {
  return Backend() != nullptr;
}

Window::Window(std::string class_name, std::string title, WindowProcedure procedure)
    : class_name_(std::move(class_name)), title_(std::move(title)), procedure_(procedure) {}

Window::~Window() {
  if (DesktopBackend* backend = Backend()) backend->WindowGone(*this);
}

void Window::Show(WindowLook look) {
  {
    std::lock_guard<std::mutex> guard(mutex_);
    look_ = std::move(look);
    shown_ = true;
  }
  if (DesktopBackend* backend = Backend()) backend->WindowShown(*this);
}

WindowLook Window::Look() const {
  std::lock_guard<std::mutex> guard(mutex_);
  return look_;
}

void Window::SetMenuChecked(long command, bool checked) {
  bool changed = false;
  {
    std::lock_guard<std::mutex> guard(mutex_);
    for (MenuEntry& entry : look_.menu)
      if (entry.command == command && entry.checkable && entry.checked != checked)
        entry.checked = checked, changed = shown_;
  }
  if (DesktopBackend* backend = Backend(); backend != nullptr && changed)
    backend->WindowChanged(*this);
}

void Window::SetListVisible(bool visible) {
  bool changed = false;
  {
    std::lock_guard<std::mutex> guard(mutex_);
    changed = shown_ && look_.list_visible != visible;
    look_.list_visible = visible;
  }
  if (DesktopBackend* backend = Backend(); backend != nullptr && changed)
    backend->WindowChanged(*this);
}

void Window::Post(const Message& message) {
  {
    std::lock_guard<std::mutex> guard(mutex_);
    queue_.push_back(message);
  }
  arrived_.notify_all();
}

bool Window::Get(Message* message) {
  std::unique_lock<std::mutex> guard(mutex_);
  arrived_.wait(guard, [&] { return !queue_.empty(); });
  *message = queue_.front();
  queue_.pop_front();
  if (message->kind != MessageKind::kQuit) return true;
  // The quit message follows the window's destruction: it leaves the screen.
  bool was_shown = shown_;
  shown_ = false;
  guard.unlock();
  if (DesktopBackend* backend = Backend(); backend != nullptr && was_shown)
    backend->WindowGone(*this);
  return false;
}

bool Window::Peek(Message* message) {
  std::lock_guard<std::mutex> guard(mutex_);
  if (queue_.empty()) return false;
  *message = queue_.front();
  queue_.pop_front();
  return true;
}

void Window::Dispatch(const Message& message) {
  if (procedure_ != nullptr) {
    procedure_(*this, message);
  } else if (message.kind == MessageKind::kDestroy) {
    PostQuit(*this, 0);
  }
}

void PostDestroy(Window& window) {
  window.Post({MessageKind::kDestroy, 0, 0});
}
void PostQuit(Window& window, int exit_code) {
  window.Post({MessageKind::kQuit, exit_code, 0});
}

void TraceList::Append(std::string_view text) {
  std::lock_guard<std::mutex> guard(mutex_);
  lines_.emplace_back(text);
  // The list keeps its newest lines; an endless trace must not grow memory.
  constexpr size_t kKeep = 5000;
  if (lines_.size() > kKeep) lines_.erase(lines_.begin(), lines_.begin() + (lines_.size() - kKeep));
  if (echo_) {
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fputc('\n', stderr);
  }
  // Told under the lock, so a drawn list keeps the order of the lines.
  if (DesktopBackend* backend = Backend()) backend->ListAppended(*this, text);
}

void TraceList::Clear() {
  std::lock_guard<std::mutex> guard(mutex_);
  lines_.clear();
  if (DesktopBackend* backend = Backend()) backend->ListCleared(*this);
}

std::vector<std::string> TraceList::Lines() const {
  std::lock_guard<std::mutex> guard(mutex_);
  return lines_;
}

bool TraceList::Contains(std::string_view text) const {
  std::lock_guard<std::mutex> guard(mutex_);
  for (const std::string& line : lines_)
    if (line.find(text) != std::string::npos) return true;
  return false;
}

namespace {

struct ScriptLine {
  std::string prefix;  // empty: answers any subject of its kind
  std::string answer;
  AnswerKind kind = AnswerKind::kQuestion;
  bool used = false;
};

struct DesktopState {
  std::mutex mutex;
  TraceList* trace = nullptr;
  bool script_loaded = false;
  std::string script_path;
  std::vector<ScriptLine> script;
  // Its own lock: a key state is read while a question may be waiting on
  // the terminal.
  std::mutex key_mutex;
  KeyStateHook key_hook;
};

DesktopState& State() {
  static DesktopState state;
  return state;
}

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::string Trim(std::string_view text) {
  size_t begin = 0, end = text.size();
  while (begin < end && std::isspace(static_cast<unsigned char>(text[begin]))) ++begin;
  while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
  return std::string(text.substr(begin, end - begin));
}

bool StartsWithWord(std::string_view text, std::string_view word) {
  return text.size() >= word.size() && Lower(text.substr(0, word.size())) == word;
}

// Reads the script named by CORVANE_ANSWERS, unless already read. Caller
// holds the state lock.
void LoadScript(DesktopState& state) {
  const char* path = std::getenv("CORVANE_ANSWERS");
  std::string wanted = path != nullptr ? path : "";
  if (state.script_loaded && wanted == state.script_path) return;
  state.script_loaded = true;
  state.script_path = wanted;
  state.script.clear();
  if (wanted.empty()) return;
  std::ifstream in(wanted);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    ScriptLine entry;
    size_t arrow = line.find("=>");
    if (arrow != std::string::npos) {
      entry.prefix = line.substr(0, arrow);
      entry.answer = Trim(line.substr(arrow + 2));
    } else {
      entry.answer = Trim(line);
    }
    // "dialog:" and "file:" lines answer only dialogs and file choosers.
    if (StartsWithWord(entry.answer, "dialog:")) {
      entry.kind = AnswerKind::kDialog;
      entry.answer = Trim(entry.answer.substr(7));
    } else if (StartsWithWord(entry.answer, "file:")) {
      entry.kind = AnswerKind::kFile;
      entry.answer = Trim(entry.answer.substr(5));
    } else if (entry.answer.empty()) {
      continue;
    }
    state.script.push_back(entry);
  }
}

bool ReadAnswer(std::string_view word, Buttons buttons, Answer* answer) {
  std::string w = Lower(Trim(word));
  if (buttons == Buttons::kYesNo) {
    if (w == "yes" || w == "y") return *answer = Answer::kYes, true;
    if (w == "no" || w == "n") return *answer = Answer::kNo, true;
  } else if (buttons == Buttons::kOkCancel) {
    if (w == "ok" || w == "o") return *answer = Answer::kOk, true;
    if (w == "cancel" || w == "c") return *answer = Answer::kCancel, true;
  }
  return false;
}

const char* IconName(Icon icon) {
  switch (icon) {
    case Icon::kInformation:
      return "information";
    case Icon::kExclamation:
      return "exclamation";
    case Icon::kQuestion:
      return "question";
    case Icon::kError:
      return "error";
    case Icon::kNone:
      break;
  }
  return "none";
}

}  // namespace

void SetDesktopTrace(TraceList* trace) {
  std::lock_guard<std::mutex> guard(State().mutex);
  State().trace = trace;
}

void ResetAnswerScript() {
  std::lock_guard<std::mutex> guard(State().mutex);
  State().script_loaded = false;
  State().script.clear();
}

namespace desktop_internal {

std::unique_lock<std::mutex> Lock() {
  std::unique_lock<std::mutex> lock(State().mutex, std::defer_lock);
  DesktopBackend* backend = Backend();
  if (backend != nullptr && backend->OnGuiThread()) {
    while (!lock.try_lock()) backend->PumpEvents();
  } else {
    lock.lock();
  }
  return lock;
}

bool ScriptNamed() {
  DesktopState& state = State();
  LoadScript(state);
  return !state.script_path.empty();
}

bool TakeScriptLine(AnswerKind kind, std::string_view subject, std::string* answer) {
  DesktopState& state = State();
  LoadScript(state);
  for (ScriptLine& line : state.script) {
    if (line.used || line.kind != kind) continue;
    if (!line.prefix.empty() && subject.substr(0, line.prefix.size()) != line.prefix) continue;
    line.used = true;
    *answer = line.answer;
    return true;
  }
  return false;
}

void Show(std::string_view line) {
  std::fprintf(stderr, "%.*s\n", static_cast<int>(line.size()), line.data());
  if (State().trace != nullptr) State().trace->Append(line);
}

}  // namespace desktop_internal

Answer MessageBox(const Window* owner, std::string_view text, std::string_view title, Icon icon,
                  Buttons buttons) {
  auto guard = desktop_internal::Lock();
  std::string shown = "[" + std::string(title) + "] (" + IconName(icon) + ") " + std::string(text);
  if (owner != nullptr) shown += " {owner " + owner->Title() + "}";
  desktop_internal::Show(shown);
  DesktopBackend* backend = desktop_internal::ScriptNamed() ? nullptr : Backend();
  if (buttons == Buttons::kOk) {
    if (backend != nullptr) backend->Ask(owner, text, title, icon, buttons);
    return Answer::kOk;
  }

  Answer safe = buttons == Buttons::kYesNo ? Answer::kNo : Answer::kCancel;
  Answer answer = safe;
  std::string line;
  if (backend != nullptr) {
    answer = backend->Ask(owner, text, title, icon, buttons);
  } else if (desktop_internal::ScriptNamed()) {
    if (desktop_internal::TakeScriptLine(AnswerKind::kQuestion, text, &line) &&
        !ReadAnswer(line, buttons, &answer))
      answer = safe;
  } else if (::isatty(STDIN_FILENO)) {
    std::fprintf(stderr, "%s ", buttons == Buttons::kYesNo ? "[Yes/No]?" : "[OK/Cancel]?");
    std::string reply;
    if (!std::getline(std::cin, reply) || !ReadAnswer(reply, buttons, &answer)) answer = safe;
  }
  const char* names[] = {"OK", "Cancel", "Yes", "No"};
  desktop_internal::Show("  answered " + std::string(names[static_cast<int>(answer)]));
  return answer;
}

bool KeyDown(Key key) {
  KeyStateHook hook;
  {
    std::lock_guard<std::mutex> guard(State().key_mutex);
    hook = State().key_hook;
  }
  if (hook) return hook(key);
  const char* down = std::getenv("CORVANE_KEYS_DOWN");
  if (down == nullptr) {
    DesktopBackend* backend = Backend();
    return backend != nullptr && backend->KeyDown(key);
  }
  std::string keys = Lower(down);
  const char* name = key == Key::kEsc ? "esc" : key == Key::kCtrl ? "ctrl" : "alt";
  return keys.find(name) != std::string::npos;
}

bool ShowTimedStatus(std::string_view caption, std::string_view text, int milliseconds) {
  DesktopBackend* backend = Backend();
  if (backend == nullptr) return false;
  backend->ShowTimedStatus(caption, text, milliseconds);
  return true;
}

void SetKeyStateHook(KeyStateHook hook) {
  std::lock_guard<std::mutex> guard(State().key_mutex);
  State().key_hook = std::move(hook);
}

}  // namespace os
