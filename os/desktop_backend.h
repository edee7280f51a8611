// The seam between the desktop calls (os/desktop.h, os/dialog.h) and a
// windowed desktop. Without a backend installed every call takes its
// headless path. A windowed backend is installed once, at start-up, by the
// program's desktop choice (os/qt/desktop_start.h), and stays until exit.
//
// Threads: the windowed desktop draws on the process's main thread (the
// GUI thread) and runs the program itself on a thread of its own, so the
// program's window loop, its start-up and shutdown never stop the drawing.
// Any thread may call in; a question, dialog or file chooser is handed to
// the GUI thread and the caller waits for the answer; the window and list
// calls only post and return.
//
// Lock order. The desktop lock (desktop_internal::Lock) is held around every
// question, dialog and file chooser, so one is shown at a time. It is the
// last lock in every order: while holding it a caller takes no other lock
// of the program's, it only waits for the GUI thread. The GUI thread takes
// no lock of the program's at all except the short record locks of a window
// queue (to post a menu command or a close request) and never waits for
// the desktop lock without handling its events (PumpEvents), so a question
// asked by any thread, holding any of the program's locks, is always drawn
// and answered. When the desktop closes (the program ended or the display
// went away) every waiting caller gets the safe answer: No, Cancel.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "os/desktop.h"

namespace os {

class Dialog;

class DesktopBackend {
 public:
  virtual ~DesktopBackend() = default;

  // Whether the caller is the thread that draws; that thread waits for the
  // desktop lock while handling its events (PumpEvents), since the holder
  // may be waiting for it to draw.
  virtual bool OnGuiThread() = 0;
  virtual void PumpEvents() = 0;

  virtual Answer Ask(const Window* owner, std::string_view text, std::string_view title, Icon icon,
                     Buttons buttons) = 0;
  // Lets the user fill the dialog, already opened (its rule has run with
  // id 0); returns the id of the button that ended
  // it (kIdCancel for a close of the window).
  virtual int RunDialog(const Window* owner, Dialog& dialog) = 0;
  // `path` holds the starting name; `proposals` are files offered to pick
  // from; false for Cancel.
  virtual bool ChooseFile(bool save, const Window* owner, std::string_view title,
                          std::string_view filter, const std::vector<std::string>& proposals,
                          std::string* path) = 0;
  virtual bool KeyDown(Key key) = 0;
  virtual void ShowTimedStatus(std::string_view caption, std::string_view text,
                               int milliseconds) = 0;

  // The window calls: the window's drawing follows its record.
  virtual void WindowShown(Window& window) = 0;
  virtual void WindowChanged(Window& window) = 0;
  virtual void WindowGone(Window& window) = 0;
  // Called under the list's lock: post, never wait.
  virtual void ListAppended(TraceList& list, std::string_view line) = 0;
  virtual void ListCleared(TraceList& list) = 0;
};

// The backend in use; null: headless.
DesktopBackend* Backend();
void SetDesktopBackend(DesktopBackend* backend);

}  // namespace os
