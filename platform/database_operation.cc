// The database operation channel and the interim operations of the table.
#include "platform/database_operation.h"

#include <array>
#include <chrono>
#include <cstdio>
#include <functional>
#include <thread>

#include "engine/error_page.h"
#include "os/desktop.h"

namespace platform {

namespace {

// Until the [kv] dispatcher is installed, every database request is answered
// with the error page.
int32_t InterimKvCommand(ThreadHandle& platform_thread, const OperationArgs& args) {
  const char* reply_path = reinterpret_cast<const char*>(args[0]);
  if (reply_path == nullptr) return -1;
  std::FILE* reply = std::fopen(reply_path, "w+");
  if (reply == nullptr) return -1;
  engine::WriteErrorPage(reply, platform_thread);
  std::fclose(reply);
  return 0;
}

using OperationTable = std::array<DatabaseOperation, kOperationCodes>;

OperationTable FirstTable() {
  OperationTable table{};
  table[kRunKvCommand] = InterimKvCommand;
  return table;
}

OperationTable& Table() {
  static OperationTable table = FirstTable();
  return table;
}

using Clock = std::chrono::steady_clock;

// The code under which RunOnPlatformThread hands over its function; no
// numbered operation can reach it.
constexpr uint16_t kFunctionCode = 0xFFFF;
// Written under operationLock before the hand-over, read by the platform
// thread while the operation runs.
std::function<int32_t(ThreadHandle&)> pending_function;

// Submits the operation whose words are in place and waits for it; the
// caller holds operationLock.
int32_t Submit(engine::SharedContext& shared, int code);

// The Esc question of a long operation; on Yes the program restarts.
void OfferInterrupt(engine::SharedContext& shared) {
  os::Answer answer = os::MessageBox(shared.mainWindow, kInterruptQuestion, kInterruptTitle,
                                     os::Icon::kQuestion, os::Buttons::kYesNo);
  if (answer != os::Answer::kYes) return;
  shared.restart = 1;
  engine::SetStop(shared, engine::kStopRequested);
  os::MessageBox(shared.mainWindow, kInterruptNotice, kInterruptTitle, os::Icon::kInformation,
                 os::Buttons::kOk);
  if (shared.mainWindow != nullptr) os::PostDestroy(*shared.mainWindow);
}

}  // namespace

void SetDatabaseOperation(int code, DatabaseOperation operation) {
  if (code > 0 && code < kOperationCodes) Table()[code] = operation;
}

void ResetDatabaseOperations() {
  Table() = FirstTable();
}

int32_t RunDatabaseOperation(ThreadHandle& handle, int code, std::initializer_list<intptr_t> args) {
  if (handle.shared == nullptr) return -1;
  if (code <= 0 || code >= kOperationCodes) return -1;
  engine::SharedContext& shared = *handle.shared;
  OperationArgs words{};
  size_t i = 0;
  for (intptr_t word : args) {
    if (i == words.size()) break;
    words[i++] = word;
  }
  if (std::this_thread::get_id() == shared.platformThread.load()) {
    // Submitted by an operation already running on the platform thread:
    // waiting for the channel would wait for ourselves.
    DatabaseOperation operation = code > 0 && code < kOperationCodes ? Table()[code] : nullptr;
    return operation != nullptr ? operation(handle, words) : -1;
  }
  os::LockGuard operation_guard(shared.operationLock);
  shared.operationArgs = words;
  return Submit(shared, code);
}

int32_t RunOnPlatformThread(ThreadHandle& handle, std::function<int32_t(ThreadHandle&)> work) {
  if (handle.shared == nullptr || !work) return -1;
  engine::SharedContext& shared = *handle.shared;
  if (std::this_thread::get_id() == shared.platformThread.load()) return work(handle);
  os::LockGuard operation_guard(shared.operationLock);
  shared.operationArgs.fill(0);
  pending_function = std::move(work);
  int32_t result = Submit(shared, kFunctionCode);
  pending_function = nullptr;
  return result;
}

namespace {

int32_t Submit(engine::SharedContext& shared, int code) {
  shared.operationResult = -1;
  shared.operationCode = static_cast<uint16_t>(code);
  shared.operationState = engine::kOperationPending;
  shared.operationWake.Notify();

  // The old channel polled 100000 times 50 ms; that stays the bound.
  const auto deadline = Clock::now() + std::chrono::milliseconds(50) * 100000;
  auto asked_at = Clock::now();
  for (;;) {
    shared.operationWake.WaitFor(
        50, [&] { return shared.operationState == engine::kOperationIdle || shared.stop != 0; });
    if (shared.operationState == engine::kOperationIdle) break;
    if (shared.stop != 0 || Clock::now() > deadline) {
      // Withdraw an operation the platform thread has not taken. One it is
      // running still reads our words, so wait for it to finish.
      int expected = engine::kOperationPending;
      if (shared.operationState.compare_exchange_strong(expected, engine::kOperationIdle)) {
        shared.operationCode = 0;
        shared.operationResult = -1;
        break;
      }
      continue;
    }
    if (Clock::now() - asked_at >= std::chrono::milliseconds(shared.interruptAfterMs) &&
        os::KeyDown(os::Key::kEsc)) {
      asked_at = Clock::now();
      OfferInterrupt(shared);
    }
  }
  return shared.operationResult;
}

}  // namespace

bool ServePendingOperation(ThreadHandle& platform_thread) {
  engine::SharedContext& shared = *platform_thread.shared;
  int expected = engine::kOperationPending;
  if (!shared.operationState.compare_exchange_strong(expected, engine::kOperationRunning))
    return false;
  int code = shared.operationCode;
  int32_t result = -1;
  if (code == kFunctionCode) {
    if (pending_function) result = pending_function(platform_thread);
  } else {
    DatabaseOperation operation = code > 0 && code < kOperationCodes ? Table()[code] : nullptr;
    if (operation != nullptr) result = operation(platform_thread, shared.operationArgs);
  }
  shared.operationResult = result;
  shared.operationCode = 0;
  shared.operationState = engine::kOperationIdle;
  shared.operationWake.Notify();
  return true;
}

}  // namespace platform
