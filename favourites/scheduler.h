// The scheduler of corvex (worker 'h'): every few seconds it asks the
// platform thread (operation 32) which enabled Schedule documents of
// kvconfig.ldf are due, moves their activation times forward, and starts
// the job task corvjobs once for each, passing the document's id, while
// fewer than the job limit run. The network test decides whether jobs may
// start at all; due jobs wait while it fails.
#pragma once

#include <cstdint>
#include <string>

#include "engine/shared_context.h"
#include "engine/thread_handle.h"
#include "ledra/vx_types.h"

namespace favourites {

inline constexpr char kDueSchedulesFormula[] =
    "Select (Form=\"Schedule\")  & Enabled=\"Enabled\" &(@Now > NextActivation)";
inline constexpr char kJobProgram[] = "corvjobs";

// The scheduler's intervals. Tests shrink them (CORVANE_SCHEDULER_SETTLE_MS
// and CORVANE_SCHEDULER_TICK_MS are read by InstallScheduler).
struct SchedulerTiming {
  int settle_ms = 20000;  // after the first network test
  int tick_ms = 5000;     // between checks
  int launch_pause_ms = 100;
  int first_test_seconds = 30;
};
SchedulerTiming& Timing();

// Job tasks started and not yet ended.
int RunningJobs();

// Worker 'h': returns when stop is set.
void SchedulerLoop(engine::ThreadHandle& handle);

// Operation 32 on the platform thread: -(number of due schedules) when
// launching is not allowed, else the number of running jobs after starting
// the due ones that fit under the job limit.
int32_t RunScheduler(engine::ThreadHandle& platform_thread, const engine::OperationArgs& args);

// Starts corvjobs from the program folder with the id, in a thread that
// counts it among the running jobs until it ends.
void StartJob(engine::SharedContext& shared, VXNoteId id);

// The network test through the engine's hook. Without a hook nothing can
// test the network, so jobs may start (each fetch has its own time-outs).
bool NetworkAllowsLaunch(engine::ThreadHandle& handle, int timeout_seconds);

// Installs worker 'h' and operation 32, and reads the timing overrides.
void InstallScheduler();

}  // namespace favourites
