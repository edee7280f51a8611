// The desktop, headless backend: window records with message queues, the
// trace list, message boxes and questions, and the Esc/Ctrl/Alt key states.
//
// Message boxes are written to standard error and to the desktop trace.
// Questions (Yes/No, OK/Cancel) are answered, in this order of preference,
// from the answer script named by CORVANE_ANSWERS, from a prompt on the
// terminal when standard input is one (and no script is named), else by the
// safe default: No, Cancel.
//
// Answer script: one answer per line ("Yes", "No", "OK", "Cancel"; "y", "n"
// too; any case), consumed in order. A line "PREFIX=>ANSWER" answers only a
// question whose text begins with PREFIX. Each question takes the first
// unused line that applies to it. Plain OK boxes take no line. Lines that
// begin "dialog:" or "file:" answer dialogs and file choosers only
// (os/dialog.h), with the same "PREFIX=>" form matched on their caption.
//
// A windowed desktop (os/desktop_backend.h) draws the same records: the
// windows with their menus and lists, the message boxes and questions. The
// lines above still go to standard error and the trace, and a named answer
// script still answers every question without showing it.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace os {

enum class MessageKind { kNone, kClose, kDestroy, kCommand, kQuit, kUser };

struct Message {
  MessageKind kind = MessageKind::kNone;
  long word = 0;   // command number, exit code of kQuit
  long value = 0;  // message-specific
};

class Window;
class TraceList;

// A menu command of a window. `label` "-" is a separator.
struct MenuEntry {
  std::string popup;  // the popup of the menu bar holding it; "": on the bar
  std::string label;
  long command = 0;
  bool checkable = false;
  bool checked = false;
};

// How a windowed desktop draws a window; the headless desktop keeps it
// only for the program to read back.
struct WindowLook {
  std::vector<MenuEntry> menu;
  TraceList* list = nullptr;  // the list box filling the window
  bool list_visible = true;
  bool topmost = false;
  bool minimised = true;  // shown minimised, without taking the focus
  int x = -1, y = -1;     // -1: placed by the desktop
  int width = 0, height = 0;
};

// The window procedure: handles one message taken from the window's queue.
using WindowProcedure = void (*)(Window& window, const Message& message);

// A window record. Its queue may be posted to from any thread; the thread
// that owns the window gets and dispatches.
class Window {
 public:
  Window(std::string class_name, std::string title, WindowProcedure procedure = nullptr);
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;
  ~Window();

  const std::string& ClassName() const { return class_name_; }
  const std::string& Title() const { return title_; }

  // Shows the window with its menu and list (a windowed desktop draws it).
  void Show(WindowLook look);
  WindowLook Look() const;
  void SetMenuChecked(long command, bool checked);
  void SetListVisible(bool visible);

  void Post(const Message& message);
  // Waits for the next message; false when it is the quit message (whose
  // exit code lands in *message too). The quit message also takes the
  // window off the desktop.
  bool Get(Message* message);
  // Takes the next message without waiting; false when none is queued.
  bool Peek(Message* message);
  // Runs the window procedure; without one, kDestroy posts the quit message.
  void Dispatch(const Message& message);

 private:
  std::string class_name_;
  std::string title_;
  WindowProcedure procedure_;
  mutable std::mutex mutex_;
  std::condition_variable arrived_;
  std::deque<Message> queue_;  // guarded by mutex_
  WindowLook look_;            // guarded by mutex_
  bool shown_ = false;         // guarded by mutex_
};

void PostDestroy(Window& window);
void PostQuit(Window& window, int exit_code);

// The hidden trace list of the main window: lines appended by the trace,
// the newest made the top line.
class TraceList {
 public:
  // Echo: each appended line also goes to standard error.
  explicit TraceList(bool echo = false) : echo_(echo) {}
  void Append(std::string_view text);
  void Clear();
  std::vector<std::string> Lines() const;
  bool Contains(std::string_view text) const;

 private:
  bool echo_;
  mutable std::mutex mutex_;
  std::vector<std::string> lines_;  // guarded by mutex_
};

enum class Icon { kNone, kInformation, kExclamation, kQuestion, kError };
enum class Buttons { kOk, kYesNo, kOkCancel };
enum class Answer { kOk, kCancel, kYes, kNo };

// Shows a message box owned by `owner` (may be null) and returns the answer.
Answer MessageBox(const Window* owner, std::string_view text, std::string_view title, Icon icon,
                  Buttons buttons);

// Whether a windowed desktop is in use.
bool DesktopWindowed();
// A small status window showing `text` under `caption`, topmost near the
// middle of the screen, closed after `milliseconds`; returns when it is
// closed. False at once on the headless desktop, which shows nothing.
bool ShowTimedStatus(std::string_view caption, std::string_view text, int milliseconds);

// Where message boxes are traced besides standard error (the program's trace
// list); null sends them to standard error only.
void SetDesktopTrace(TraceList* trace);
// Forgets the answer script read so far; the next question reads
// CORVANE_ANSWERS again.
void ResetAnswerScript();

enum class Key { kEsc, kCtrl, kAlt };
// Whether the key is down: the test hook when set, else the keys named in
// CORVANE_KEYS_DOWN ("esc,ctrl,alt") when that is set, else the keyboard
// of a windowed desktop; never down on the headless one.
bool KeyDown(Key key);
using KeyStateHook = std::function<bool(Key)>;
void SetKeyStateHook(KeyStateHook hook);

}  // namespace os
