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
// The window procedure: handles one message taken from the window's queue.
using WindowProcedure = void (*)(Window& window, const Message& message);

// A window record. Its queue may be posted to from any thread; the thread
// that owns the window gets and dispatches.
class Window {
 public:
  Window(std::string class_name, std::string title, WindowProcedure procedure = nullptr);
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  const std::string& ClassName() const { return class_name_; }
  const std::string& Title() const { return title_; }

  void Post(const Message& message);
  // Waits for the next message; false when it is the quit message (whose
  // exit code lands in *message too).
  bool Get(Message* message);
  // Takes the next message without waiting; false when none is queued.
  bool Peek(Message* message);
  // Runs the window procedure; without one, kDestroy posts the quit message.
  void Dispatch(const Message& message);

 private:
  std::string class_name_;
  std::string title_;
  WindowProcedure procedure_;
  std::mutex mutex_;
  std::condition_variable arrived_;
  std::deque<Message> queue_;  // guarded by mutex_
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

// Where message boxes are traced besides standard error (the program's trace
// list); null sends them to standard error only.
void SetDesktopTrace(TraceList* trace);
// Forgets the answer script read so far; the next question reads
// CORVANE_ANSWERS again.
void ResetAnswerScript();

enum class Key { kEsc, kCtrl, kAlt };
// Whether the key is down. Headless: the test hook when set, else the keys
// named in CORVANE_KEYS_DOWN ("esc,ctrl,alt"); never down by default.
bool KeyDown(Key key);
using KeyStateHook = std::function<bool(Key)>;
void SetKeyStateHook(KeyStateHook hook);

}  // namespace os
