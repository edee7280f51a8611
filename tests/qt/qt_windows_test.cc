// The drawn windows of the windowed desktop: the main window of corvex and
// the job window of corvjobs from their window records (menus, lists, close
// requests), corvjobs run on the windowed desktop, and the start's choice.
#include <sys/wait.h>

#include <QAction>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "jobs/job_window.h"
#include "os/desktop_start.h"
#include "os/process.h"
#include "os/qt/window_view.h"
#include "tests/qt/qt_fixture.h"

namespace {

os::WindowLook MainLook(os::TraceList* list) {
  os::WindowLook look;
  look.menu = {{"Options", "-", 0},
               {"Options", "Set Preferred Browser", 40005},
               {"Options", "Hide Dashboard", 40006, true, false},
               {"", "About", 40004}};
  look.list = list;
  look.list_visible = false;
  look.topmost = true;
  look.x = look.y = 50;
  look.width = 200;
  look.height = 50;
  return look;
}

QStringList Rows(QListWidget* list) {
  QStringList rows;
  for (int i = 0; i < list->count(); ++i) rows << list->item(i)->text();
  return rows;
}

TEST_F(QtDesktopTest, MainWindowDrawsItsRecordAndPostsTheUsersCommands) {
  os::TraceList trace;
  trace.Append("before the window");
  auto window = std::make_unique<os::Window>("Corvane_MainWindow", "Corvane");
  window->Show(MainLook(&trace));
  os::qt::WindowView* view = nullptr;
  ASSERT_TRUE(PumpUntil([&] { return (view = Desktop().View(window.get())) != nullptr; }));
  EXPECT_EQ(view->windowTitle(), "Corvane");
  EXPECT_TRUE(view->isMinimized());
  EXPECT_TRUE(view->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
  ASSERT_NE(view->ListWidget(), nullptr);
  EXPECT_FALSE(view->ListWidget()->isVisible());

  // Lines from any thread, the newest on top.
  std::thread([&trace] {
    trace.Append("Successful Vantix initialization.");
    trace.Append("l17 GET /");
  }).join();
  ASSERT_TRUE(PumpUntil([&] { return view->ListWidget()->count() == 3; }));
  EXPECT_EQ(Rows(view->ListWidget()),
            QStringList({"l17 GET /", "Successful Vantix initialization.", "before the window"}));

  // About: the program posts the list's visibility and the check mark back.
  auto* about = view->findChild<QAction*>("command_40004");
  auto* hide = view->findChild<QAction*>("command_40006");
  ASSERT_TRUE(about && hide);
  EXPECT_TRUE(hide->isCheckable());
  about->trigger();
  hide->trigger();
  EXPECT_FALSE(hide->isChecked()) << "the check mark is the program's to set";
  os::Message message;
  ASSERT_TRUE(window->Peek(&message));
  EXPECT_EQ(message.kind, os::MessageKind::kCommand);
  EXPECT_EQ(message.word, 40004);
  ASSERT_TRUE(window->Peek(&message));
  EXPECT_EQ(message.word, 40006);
  window->SetListVisible(true);
  window->SetMenuChecked(40006, true);
  ASSERT_TRUE(PumpUntil([&] { return hide->isChecked(); }));
  EXPECT_FALSE(view->ListWidget()->isHidden());

  // The close button asks the program, which decides.
  view->close();
  ASSERT_TRUE(window->Peek(&message));
  EXPECT_EQ(message.kind, os::MessageKind::kClose);
  EXPECT_EQ(Desktop().View(window.get()), view);
  trace.Clear();
  ASSERT_TRUE(PumpUntil([&] { return view->ListWidget()->count() == 0; }));

  // Quit takes the window off the desktop.
  os::PostQuit(*window, 0);
  EXPECT_FALSE(window->Get(&message));
  EXPECT_EQ(Desktop().View(window.get()), nullptr);
}

TEST_F(QtDesktopTest, KeysAreReadFromTheKeyboardOfTheProgramsWindows) {
  os::TraceList trace;
  os::Window window("Corvane_MainWindow", "Corvane");
  window.Show(MainLook(&trace));
  os::qt::WindowView* view = nullptr;
  ASSERT_TRUE(PumpUntil([&] { return (view = Desktop().View(&window)) != nullptr; }));
  auto esc_seen = [] {
    return std::async(std::launch::async, [] { return os::KeyDown(os::Key::kEsc); });
  };
  QTest::keyPress(view, Qt::Key_Escape);
  auto held = esc_seen();
  EXPECT_TRUE(Await(held));
  QTest::keyRelease(view, Qt::Key_Escape);
  auto released = esc_seen();
  EXPECT_FALSE(Await(released));
  // Ctrl and Alt from a worker: the question goes to the GUI thread.
  auto ctrl = OnWorker([] { return os::KeyDown(os::Key::kCtrl); });
  EXPECT_FALSE(Await(ctrl));
}

TEST_F(QtDesktopTest, JobWindowFillsItsLogListFromTheJobsThread) {
  os::TraceList log_list;
  jobs::HeadlessJobWindow job_window("", /*echo=*/false);
  job_window.DrawInto(&log_list);
  os::Window window("CorvaneJobsWClass", "Corvane Background Jobs");
  os::WindowLook look;
  look.menu = {{"File", "Exit", 40001}, {"File", "About", 40002}};
  look.list = &log_list;
  window.Show(look);
  std::thread([&job_window] {
    job_window.AppendLog("Pellam Corvane: Background Replication Task");
    job_window.AppendLog("Startup argument: 1234");
  }).join();
  os::qt::WindowView* view = nullptr;
  ASSERT_TRUE(PumpUntil([&] {
    view = Desktop().View(&window);
    return view != nullptr && view->ListWidget()->count() == 2;
  }));
  EXPECT_EQ(view->windowTitle(), "Corvane Background Jobs");
  EXPECT_EQ(view->ListWidget()->item(0)->text(), "Startup argument: 1234");
  QList<QAction*> bar = view->menuBar()->actions();
  ASSERT_EQ(bar.size(), 1);
  EXPECT_EQ(bar.front()->text(), "File");
  ASSERT_NE(bar.front()->menu(), nullptr);
  EXPECT_EQ(bar.front()->menu()->actions().size(), 2);
  std::thread([&job_window] { job_window.ClearLog(); }).join();
  ASSERT_TRUE(PumpUntil([&] { return view->ListWidget()->count() == 0; }));
}

// corvjobs on the windowed desktop: a run without a schedule id fails its
// initialisation, shows its closing status dialog, closes its window on
// the stop state and ends by itself, with the log lines it always writes.
TEST(QtPrograms, JobTaskRunsAndEndsOnTheWindowedDesktop) {
  char pattern[] = "/tmp/corvane-qtjobs-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  std::string prog = std::string(pattern) + "/prog";
  setenv("CORVANE_BIN_DIR", CORVANE_BIN_DIR, 1);
  int code = -1;
  ASSERT_EQ(os::ProcessRun(CORVANE_SOURCE_DIR "/scripts/install", {prog}, 120000, &code),
            os::ProcessStatus::kOk);
  ASSERT_EQ(code, 0);
  std::string out = std::string(pattern) + "/out.txt";
  std::string command = "cd '" + prog + "' && CORVANE_LEDRA_INI='" + prog +
                        "/ledra.ini' CORVANE_JOB_WAIT_MS=10 QT_QPA_PLATFORM=offscreen "
                        "CORVANE_DESKTOP=windowed timeout 60 ./corvjobs 'no number' >'" +
                        out + "' 2>&1";
  int status = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "124: it did not end by itself";
  std::ifstream in(out);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_NE(text.str().find("* FAILED Ledra initialization"), std::string::npos) << text.str();
  EXPECT_NE(text.str().find("Corvane Background Job Status: Replicator terminated prematurely"),
            std::string::npos);
  EXPECT_EQ(text.str().find("cannot be opened"), std::string::npos) << text.str();
  std::filesystem::remove_all(pattern);
}

// A program on the windowed desktop whose display is lost while it asks.
void LoseTheDisplay() {
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  unsetenv("CORVANE_TEST");
  unsetenv("CORVANE_DESKTOP");
  int argc = 1;
  char name[] = "corvex";
  char* argv[] = {name, nullptr};
  os::RunWithDesktop(argc, argv, [] {
    // Qt ends the process on the GUI thread when its display is lost.
    os::qt::PostToGui([] { std::exit(1); });
    os::Answer answer = os::MessageBox(nullptr, "Still there?", "Corvane", os::Icon::kQuestion,
                                       os::Buttons::kYesNo);
    return answer == os::Answer::kNo && !os::DesktopWindowed() ? 5 : 6;
  });
  std::exit(7);
}

TEST(QtPrograms, ADisplayThatGoesAwayLeavesTheProgramRunningHeadless) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(LoseTheDisplay(), testing::ExitedWithCode(5), "display went away");
}

TEST(QtPrograms, DesktopChoiceFollowsTheDisplayAndTheOverride) {
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  unsetenv("CORVANE_DESKTOP");
  setenv("CORVANE_TEST", "1", 1);
  EXPECT_FALSE(os::WindowedDesktopWanted()) << "a test run must not wait for clicks";
  setenv("CORVANE_DESKTOP", "windowed", 1);
  EXPECT_TRUE(os::WindowedDesktopWanted());
  unsetenv("CORVANE_TEST");
  unsetenv("CORVANE_DESKTOP");
  EXPECT_TRUE(os::WindowedDesktopWanted());
  setenv("CORVANE_DESKTOP", "headless", 1);
  EXPECT_FALSE(os::WindowedDesktopWanted());
  unsetenv("CORVANE_DESKTOP");
  unsetenv("QT_QPA_PLATFORM");
  unsetenv("DISPLAY");
  unsetenv("WAYLAND_DISPLAY");
  EXPECT_FALSE(os::WindowedDesktopWanted());
  // A display named but gone: the program runs headless and says so once.
  setenv("DISPLAY", ":97", 1);
  EXPECT_TRUE(os::WindowedDesktopWanted());
  int argc = 1;
  char name[] = "corvex";
  char* argv[] = {name, nullptr};
  testing::internal::CaptureStderr();
  int ran = os::RunWithDesktop(argc, argv, [] { return os::DesktopWindowed() ? 1 : 7; });
  std::string said = testing::internal::GetCapturedStderr();
  EXPECT_EQ(ran, 7);
  EXPECT_NE(said.find("running without windows"), std::string::npos) << said;
  unsetenv("DISPLAY");
}

}  // namespace
