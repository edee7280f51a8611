// The database operation channel: every platform call of corvex runs on the
// platform thread ('f'); any other thread hands it a numbered operation with
// up to eight argument words and waits for the result.
//
// A submitter holds operationLock for the whole operation. The wait keeps
// 50 ms as its longest sleep and is woken as soon as the platform thread
// stores the result. After 31 seconds, the Esc key offers to interrupt.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>

#include "engine/shared_context.h"
#include "engine/thread_handle.h"

namespace platform {

using engine::OperationArgs;
using engine::ThreadHandle;

// Codes of the operation table.
enum OperationCode : int {
  kGetViewRecord = 1,
  kOpenDatabase = 2,
  kIndexOpen = 3,
  kIndexSearch = 4,
  kIndexNavigate = 5,
  kDocumentOpen = 6,
  kItemFetch = 7,
  kItemPut = 8,
  kSetEnvironmentString = 9,
  kGetEnvironmentString = 10,
  kRunKvCommand = 11,  // words: reply file path (const char*), DatabaseRequest*
  kIndexKeySearch = 12,
  kServeStoredPage = 21,  // words: reply file path, ReplicaRequest*
  kNothing = 22,
  kSubmitStoredForm = 23,  // words: reply file path, ReplicaRequest*
  kDocumentClose = 24,
  kGetViewRecordByName = 25,
  kIndexRefresh = 26,
  kIndexClose = 27,
  kRunScheduler = 32,  // no words; the scheduler's launch flag is its own
  kTemplateExpansion = 34,
  kDashboardText = 35,
};
inline constexpr int kOperationCodes = 36;  // codes 1 to 35

inline constexpr char kInterruptQuestion[] =
    "A database operation is in progress.  Do you wish to interrupt it?";
inline constexpr char kInterruptNotice[] =
    "This will take a few moments to reset.  You will be notified when you may proceed.";
inline constexpr char kInterruptTitle[] = "Corvane";

// One operation of the table; it runs on the platform thread and returns the
// operation's result.
using DatabaseOperation = int32_t (*)(ThreadHandle& platform_thread, const OperationArgs& args);

// Installs the function of an operation code (1 to 35). A code without a
// function gives -1. Install before worker 'f' starts.
void SetDatabaseOperation(int code, DatabaseOperation operation);
// Restores the table this layer starts with (tests).
void ResetDatabaseOperations();

// Runs operation `code` with `args` on the platform thread and returns its
// result; -1 when the code has no operation or when stop ended the wait
// before the platform thread took the operation. Called on the platform
// thread itself (from inside another operation), it runs the operation at
// once.
int32_t RunDatabaseOperation(ThreadHandle& handle, int code, std::initializer_list<intptr_t> args);

// Runs `work` on the platform thread through the same channel (holding
// operationLock, waiting as RunDatabaseOperation waits) and returns its
// result; -1 when stop ended the wait first. For the program's own steps
// that need several platform calls at once (start-up, shutdown); the
// numbered table is not widened by it.
int32_t RunOnPlatformThread(ThreadHandle& handle, std::function<int32_t(ThreadHandle&)> work);

// The platform thread's side: when an operation is pending, runs it, stores
// its result and hands the channel back. True when one ran.
bool ServePendingOperation(ThreadHandle& platform_thread);

}  // namespace platform
