// The bridge between the program's threads and the GUI thread. Everything
// that draws runs on the GUI thread; other threads post work to it and,
// for a question, wait for its answer. Once the bridge is closed (the GUI
// thread left its event loop) nothing is posted any more and every caller
// waiting for an answer gets its fallback, so no thread waits for a
// display that is gone.
#pragma once

#include <functional>
#include <string>

class QObject;

namespace os::qt {

// What a question gives back: a code (an os::Answer, a button id, 1 for a
// chosen file) and a text (the file).
struct Reply {
  int code = 0;
  std::string text;
};
using ReplyFunction = std::function<void(Reply)>;

// Opened on the GUI thread with an object living there; work is posted to
// that object's thread.
void OpenBridge(QObject* context);
// On the GUI thread, after its event loop ended: answers every waiting
// caller with its fallback and refuses new work.
void CloseBridge();
bool BridgeOpen();
bool OnGuiThread();

// Runs `work` on the GUI thread later, in the order posted; dropped when
// the bridge is closed.
void PostToGui(std::function<void()> work);
// Runs `work` on the GUI thread and returns when it has run (at once when
// called there, or when the bridge is closed).
void RunOnGui(const std::function<void()>& work);
// Runs `start` on the GUI thread, which shows something and calls the
// reply function when the user has answered (once; later calls are
// ignored). Waits for that reply; on the GUI thread itself it handles
// events meanwhile. `fallback` when the bridge is or becomes closed.
Reply AskGui(std::function<void(ReplyFunction)> start, Reply fallback);

}  // namespace os::qt
