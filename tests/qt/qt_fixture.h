// The windowed desktop in the test process: one application object, the
// desktop installed for each test, and helpers that wait for a window to
// appear while handling the GUI thread's events (the test's own thread is
// the GUI thread; the questions come from workers).
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>
#include <QThread>
#include <QWidget>
#include <chrono>
#include <future>
#include <memory>

#include "os/desktop.h"
#include "os/desktop_backend.h"
#include "os/qt/gui_bridge.h"
#include "os/qt/qt_desktop.h"

class QtDesktopTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // No display needed; QT_QPA_PLATFORM=xcb shows the windows on one.
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    if (QApplication::instance() == nullptr) {
      static int argc = 1;
      static char name[] = "qt_tests";
      static char* argv[] = {name, nullptr};
      new QApplication(argc, argv);
      QApplication::setQuitOnLastWindowClosed(false);
    }
  }

  void SetUp() override {
    unsetenv("CORVANE_ANSWERS");
    unsetenv("CORVANE_KEYS_DOWN");
    os::ResetAnswerScript();
    context_ = std::make_unique<QObject>();
    desktop_ = std::make_unique<os::qt::QtDesktop>();
    os::qt::OpenBridge(context_.get());
    os::SetDesktopBackend(desktop_.get());
  }

  void TearDown() override {
    os::SetDesktopBackend(nullptr);
    os::qt::CloseBridge();
    desktop_.reset();
    context_.reset();
    for (QWidget* widget : QApplication::topLevelWidgets()) widget->deleteLater();
    QCoreApplication::processEvents();
  }

  // Handles events until `done` holds or ten seconds have passed.
  template <typename Condition>
  static bool PumpUntil(Condition done, int limit_ms = 10000) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limit_ms);
    while (!done()) {
      if (std::chrono::steady_clock::now() > end) return false;
      QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
      QThread::msleep(2);
    }
    return true;
  }

  // The visible top-level window named `name`, once it is shown.
  template <typename Widget = QWidget>
  static Widget* WaitForWindow(const QString& name) {
    Widget* found = nullptr;
    PumpUntil([&] {
      for (QWidget* widget : QApplication::topLevelWidgets())
        if (widget->objectName() == name && widget->isVisible())
          if ((found = dynamic_cast<Widget*>(widget)) != nullptr) return true;
      return false;
    });
    return found;
  }

  // Runs `ask` on a worker thread, as the program's threads ask.
  template <typename Function>
  static auto OnWorker(Function ask) {
    return std::async(std::launch::async, std::move(ask));
  }

  // The worker's answer, handling events until it comes.
  template <typename T>
  static T Await(std::future<T>& future) {
    bool ready = PumpUntil(
        [&] { return future.wait_for(std::chrono::seconds(0)) == std::future_status::ready; });
    EXPECT_TRUE(ready) << "the worker is still waiting for its answer";
    // A worker left waiting is let go with the safe answer.
    if (!ready) os::qt::CloseBridge();
    return future.get();
  }

  os::qt::QtDesktop& Desktop() { return *desktop_; }

 private:
  std::unique_ptr<QObject> context_;
  std::unique_ptr<os::qt::QtDesktop> desktop_;
};
