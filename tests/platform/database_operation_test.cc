// The database operation channel: hand-over, results, the interim [kv]
// operation, withdrawal on stop and the Esc interrupt question.
#include "platform/database_operation.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <thread>

#include "engine/database_request.h"
#include "platform/operation_table.h"
#include "tests/engine/running_engine.h"

namespace {

class Channel : public RunningEngine {
 protected:
  void StartPlatformThread() {
    ASSERT_TRUE(engine::StartWorker('f', 1, shared_.get(), ""));
    ASSERT_TRUE(shared_->wake.WaitFor(10000, [&] { return shared_->platformWindow != nullptr; }));
  }
  void TearDown() override {
    platform::ResetDatabaseOperations();
    unsetenv("CORVANE_ANSWERS");
    os::ResetAnswerScript();
    os::SetKeyStateHook(nullptr);
    RunningEngine::TearDown();
  }
};

std::thread::id ran_on;
int32_t SumOfWords(engine::ThreadHandle& platform_thread, const engine::OperationArgs& args) {
  ran_on = std::this_thread::get_id();
  EXPECT_STREQ(platform_thread.name, "f1");
  int32_t sum = 0;
  for (intptr_t word : args) sum += static_cast<int32_t>(word);
  return sum;
}

TEST_F(Channel, OperationsRunOnThePlatformThreadAndReturnTheirResult) {
  platform::SetDatabaseOperation(5, SumOfWords);
  StartPlatformThread();
  EXPECT_EQ(platform::RunDatabaseOperation(*ui_, 5, {1, 2, 3, 4, 5, 6, 7, 8, 9}), 36);  // 8 words
  EXPECT_TRUE(ran_on != std::this_thread::get_id());
  EXPECT_EQ(platform::RunDatabaseOperation(*ui_, 5, {}), 0);      // words cleared each time
  EXPECT_EQ(platform::RunDatabaseOperation(*ui_, 33, {1}), -1);   // no operation
  EXPECT_EQ(platform::RunDatabaseOperation(*ui_, 400, {1}), -1);  // outside the table
  EXPECT_EQ(shared_->operationCode, 0);
}

int32_t Nested(engine::ThreadHandle& platform_thread, const engine::OperationArgs& args) {
  return 1000 + platform::RunDatabaseOperation(platform_thread, 5, {args[0], args[1]});
}

TEST_F(Channel, AnOperationMaySubmitAnotherFromThePlatformThread) {
  platform::SetDatabaseOperation(5, SumOfWords);
  platform::SetDatabaseOperation(30, Nested);
  StartPlatformThread();
  EXPECT_EQ(platform::RunDatabaseOperation(*ui_, 30, {2, 3}), 1005);
}

TEST_F(Channel, InterimKvOperationWritesTheErrorPage) {
  StartPlatformThread();
  std::string path = folder_ + "/wtemp/reply";
  auto request = engine::ParseDatabaseRequest("GET http://[kv]/Local:/ HTTP/1.0\r\n\r\n");
  ASSERT_NE(request, nullptr);
  platform::RunDatabaseOperation(
      *ui_, platform::kRunKvCommand,
      {reinterpret_cast<intptr_t>(path.c_str()), reinterpret_cast<intptr_t>(request.get())});
  std::FILE* file = std::fopen(path.c_str(), "rb");
  ASSERT_NE(file, nullptr);
  char text[200] = {};
  std::fread(text, 1, sizeof text - 1, file);
  std::fclose(file);
  EXPECT_STREQ(text,
               "<html><DT><H2>Ledra Error:</H2><DT><DT>Could not perform requested action.<DT>");
}

TEST_F(Channel, StopWithdrawsAnOperationThePlatformThreadNeverTook) {
  // No platform thread: the operation stays pending until stop.
  std::thread stopper([&] {
    shared_->wake.WaitFor(
        10000, [&] { return shared_->operationState == engine::kOperationPending; });
    engine::SetStop(*shared_, engine::kStopRequested);
  });
  EXPECT_EQ(platform::RunDatabaseOperation(*ui_, 5, {1}), -1);
  stopper.join();
  EXPECT_EQ(shared_->operationState, engine::kOperationIdle);
  EXPECT_EQ(shared_->operationCode, 0);
}

// An operation that runs until the program is stopped.
int32_t UntilStopped(engine::ThreadHandle& platform_thread, const engine::OperationArgs&) {
  engine::SharedContext& shared = *platform_thread.shared;
  shared.wake.WaitFor(20000, [&] { return shared.stop != 0; });
  return 77;
}

TEST_F(Channel, EscAfterTheWaitOffersToInterruptAndRestarts) {
  std::string script = folder_ + "/answers";
  std::FILE* f = std::fopen(script.c_str(), "w");
  std::fputs("A database operation=>Yes\n", f);
  std::fclose(f);
  setenv("CORVANE_ANSWERS", script.c_str(), 1);
  os::ResetAnswerScript();
  os::SetKeyStateHook([](os::Key key) { return key == os::Key::kEsc; });
  os::Window main_window("Corvane_MainWindow", "Corvane");
  shared_->mainWindow = &main_window;
  shared_->interruptAfterMs = 0;
  platform::SetDatabaseOperation(30, UntilStopped);
  StartPlatformThread();

  // The running operation still reads the words: the submitter waits for it.
  EXPECT_EQ(platform::RunDatabaseOperation(*ui_, 30, {}), 77);
  EXPECT_EQ(shared_->restart, 1);
  EXPECT_EQ(shared_->stop, engine::kStopRequested);
  os::Message message;
  ASSERT_TRUE(main_window.Peek(&message));
  EXPECT_EQ(message.kind, os::MessageKind::kDestroy);
  EXPECT_TRUE(trace_.Contains(platform::kInterruptQuestion));
  EXPECT_TRUE(trace_.Contains(platform::kInterruptNotice));
  shared_->mainWindow = nullptr;
}

}  // namespace

namespace {

TEST_F(Channel, CodesOutsideTheTableGiveMinusOne) {
  platform::InstallAccessLayer();
  StartPlatformThread();
  for (int code : {0, -1, 13, 20, 33, 36, 99, 0xFFFF, 0x10000}) {
    EXPECT_EQ(platform::RunDatabaseOperation(*ui_, code, {1, 2, 3}), -1) << code;
  }
  EXPECT_EQ(platform::RunDatabaseOperation(*ui_, platform::kNothing, {}), 0);
  // Codes of layers not installed yet give -1 as well.
  for (int code : {21, 23, 28, 29, 30, 31, 32, 34, 35})
    EXPECT_EQ(platform::RunDatabaseOperation(*ui_, code, {}), -1) << code;
  EXPECT_EQ(platform::RunOnPlatformThread(
                *ui_, [](engine::ThreadHandle& t) { return std::string(t.name) == "f1" ? 7 : 0; }),
            7);
  engine::Hooks().platformStart = nullptr;
  engine::Hooks().platformEnd = nullptr;
  engine::Hooks().platformErrorText = nullptr;
}

}  // namespace
