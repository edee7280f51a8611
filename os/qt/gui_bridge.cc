// The bridge to the GUI thread.
#include "os/qt/gui_bridge.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QMetaObject>
#include <QObject>
#include <QThread>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <set>

namespace os::qt {

namespace {

struct Waiter {
  std::mutex mutex;
  std::condition_variable answered;
  bool done = false;
  Reply reply;
  Reply fallback;

  void Finish(Reply value) {
    {
      std::lock_guard<std::mutex> guard(mutex);
      if (done) return;
      done = true;
      reply = std::move(value);
    }
    answered.notify_all();
  }
  bool Done() {
    std::lock_guard<std::mutex> guard(mutex);
    return done;
  }
};

struct Bridge {
  std::mutex mutex;
  QObject* context = nullptr;                 // guarded by mutex
  QThread* thread = nullptr;                  // guarded by mutex
  std::set<std::shared_ptr<Waiter>> waiting;  // guarded by mutex
};

Bridge& TheBridge() {
  static Bridge bridge;
  return bridge;
}

}  // namespace

void OpenBridge(QObject* context) {
  Bridge& bridge = TheBridge();
  std::lock_guard<std::mutex> guard(bridge.mutex);
  bridge.context = context;
  bridge.thread = context->thread();
}

void CloseBridge() {
  Bridge& bridge = TheBridge();
  std::set<std::shared_ptr<Waiter>> waiting;
  {
    std::lock_guard<std::mutex> guard(bridge.mutex);
    bridge.context = nullptr;
    bridge.thread = nullptr;
    waiting.swap(bridge.waiting);
  }
  for (const std::shared_ptr<Waiter>& waiter : waiting) waiter->Finish(waiter->fallback);
}

bool BridgeOpen() {
  Bridge& bridge = TheBridge();
  std::lock_guard<std::mutex> guard(bridge.mutex);
  return bridge.context != nullptr;
}

bool OnGuiThread() {
  Bridge& bridge = TheBridge();
  std::lock_guard<std::mutex> guard(bridge.mutex);
  return bridge.thread != nullptr && bridge.thread == QThread::currentThread();
}

void PostToGui(std::function<void()> work) {
  Bridge& bridge = TheBridge();
  // Posted under the bridge's lock, so the context cannot be closed and
  // freed between the test and the post.
  std::lock_guard<std::mutex> guard(bridge.mutex);
  if (bridge.context == nullptr) return;
  QMetaObject::invokeMethod(bridge.context, std::move(work), Qt::QueuedConnection);
}

void RunOnGui(const std::function<void()>& work) {
  if (OnGuiThread()) {
    work();
    return;
  }
  AskGui(
      [&work](ReplyFunction reply) {
        work();
        reply({});
      },
      {});
}

Reply AskGui(std::function<void(ReplyFunction)> start, Reply fallback) {
  auto waiter = std::make_shared<Waiter>();
  waiter->fallback = fallback;
  ReplyFunction reply = [waiter](Reply value) { waiter->Finish(std::move(value)); };
  if (OnGuiThread()) {
    start(reply);
    // Whatever was opened is answered by events handled right here.
    while (!waiter->Done() && BridgeOpen())
      QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    if (!waiter->Done()) waiter->Finish(fallback);
    return waiter->reply;
  }
  Bridge& bridge = TheBridge();
  {
    std::lock_guard<std::mutex> guard(bridge.mutex);
    if (bridge.context == nullptr) return fallback;
    bridge.waiting.insert(waiter);
    QMetaObject::invokeMethod(
        bridge.context, [start = std::move(start), reply]() { start(reply); },
        Qt::QueuedConnection);
  }
  std::unique_lock<std::mutex> lock(waiter->mutex);
  waiter->answered.wait(lock, [&] { return waiter->done; });
  Reply answer = waiter->reply;
  lock.unlock();
  std::lock_guard<std::mutex> guard(bridge.mutex);
  bridge.waiting.erase(waiter);
  return answer;
}

}  // namespace os::qt
