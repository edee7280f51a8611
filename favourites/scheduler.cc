// The scheduler.
#include "favourites/scheduler.h"

#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "engine/hooks.h"
#include "jobs/documents.h"
#include "ledra/vxapi.h"
#include "os/desktop.h"
#include "os/process.h"
#include "os/sync.h"
#include "platform/database_operation.h"
#include "platform/open_database.h"
#include "platform/translate_views.h"

namespace favourites {

namespace {

std::atomic<int> running_jobs{0};
// Set from the last network test; read by operation 32.
std::atomic<bool> launch_allowed{false};

int EnvironmentMs(const char* name, int fallback) {
  const char* text = std::getenv(name);
  if (text == nullptr || *text == '\0') return fallback;
  char* end = nullptr;
  long value = std::strtol(text, &end, 10);
  return *end == '\0' && value >= 0 && value <= 3600000 ? static_cast<int>(value) : fallback;
}

bool PositiveNumber(const std::string& text) {
  char* end = nullptr;
  double value = std::strtod(text.c_str(), &end);
  return end != text.c_str() && value > 0;
}

// Moves one due Schedule forward and reports whether it could be opened.
bool Advance(VXHandle config, VXNoteId id) {
  VXHandle doc = 0;
  if (VXDocumentOpen(config, id, 0, &doc) != kVXOk) return false;
  ledra::Datetime now = jobs::PlatformNow();
  ledra::Datetime next = now;
  (void)jobs::ReadDatetimeItem(doc, "NextActivation", &next);
  (void)jobs::PutDatetimeItem(doc, "LastActivation", next);
  // Saving recomputes NextSuggestedActivation from LastActivation.
  (void)VXDocumentSave(doc, 0);
  ledra::Datetime suggested = next;
  (void)jobs::ReadDatetimeItem(doc, "NextSuggestedActivation", &suggested);
  // The step is the schedule's own period. Measured in whole days, a period
  // of minutes or hours would be 0 and leave an overdue schedule due at the
  // next check, starting a second job on the same favourite while the first
  // still runs.
  int64_t step = suggested.ticks - next.ticks;
  if (step > 0 && suggested.ticks < now.ticks) {
    int64_t steps = (now.ticks - suggested.ticks + step - 1) / step;
    suggested.ticks += steps * step;
  }
  ledra::Datetime activation = suggested.ticks < now.ticks ? now : suggested;
  activation.has_date = activation.has_time = true;
  (void)jobs::PutDatetimeItem(doc, "NextActivation", activation);
  if (!PositiveNumber(jobs::TextItem(doc, "Frequency")))
    (void)jobs::PutTextItem(doc, "Enabled", "Disabled");
  VXDocumentClose(doc, kVXCloseKeep);
  return true;
}

}  // namespace

SchedulerTiming& Timing() {
  static SchedulerTiming timing;
  return timing;
}

int RunningJobs() {
  return running_jobs.load();
}

bool NetworkAllowsLaunch(engine::ThreadHandle& handle, int timeout_seconds) {
  if (engine::Hooks().networkTest == nullptr) return true;
  return engine::Hooks().networkTest(handle, timeout_seconds) != 0;
}

void StartJob(engine::SharedContext& shared, VXNoteId id) {
  std::string program = shared.programDir.empty() ? std::string("./") + kJobProgram
                                                  : shared.programDir + "/" + kJobProgram;
  std::string argument = std::to_string(id);
  ++running_jobs;
  std::thread([program, argument] {
    int exit_code = 0;
    (void)os::ProcessRun(program, {argument}, os::kProcessNoTimeout, &exit_code);
    --running_jobs;
  }).detach();
}

int32_t RunScheduler(engine::ThreadHandle& handle, const engine::OperationArgs&) {
  engine::SharedContext& shared = *handle.shared;
  platform::OpenDatabase* config = platform::OpenDatabaseRecord(handle, platform::kLocalServer,
                                                                platform::kConfigurationDatabase);
  if (config == nullptr || config->handle == 0) return launch_allowed ? RunningJobs() : 0;
  std::vector<VXNoteId> due;
  (void)jobs::SelectDocuments(config->handle, kDueSchedulesFormula, &due);
  if (!launch_allowed) return -static_cast<int32_t>(due.size());
  for (VXNoteId id : due) {
    if (RunningJobs() >= shared.replicatorsAllowed || shared.stop != 0) break;
    if (!Advance(config->handle, id)) continue;
    StartJob(shared, id);
    os::SleepMs(Timing().launch_pause_ms);
  }
  return RunningJobs();
}

void SchedulerLoop(engine::ThreadHandle& handle) {
  engine::SharedContext& shared = *handle.shared;
  auto stopped = [&] { return shared.stop != 0; };
  launch_allowed = NetworkAllowsLaunch(handle, Timing().first_test_seconds);
  shared.wake.WaitFor(Timing().settle_ms, stopped);
  while (shared.stop == 0) {
    shared.wake.WaitFor(Timing().tick_ms, stopped);
    if (shared.stop != 0) break;
    launch_allowed = false;
    int32_t result = platform::RunDatabaseOperation(handle, platform::kRunScheduler, {});
    if (result < 0 && shared.stop == 0) {
      launch_allowed = NetworkAllowsLaunch(handle, 0);
      (void)platform::RunDatabaseOperation(handle, platform::kRunScheduler, {});
    }
  }
}

void InstallScheduler() {
  Timing().settle_ms = EnvironmentMs("CORVANE_SCHEDULER_SETTLE_MS", Timing().settle_ms);
  Timing().tick_ms = EnvironmentMs("CORVANE_SCHEDULER_TICK_MS", Timing().tick_ms);
  engine::Hooks().scheduler = SchedulerLoop;
  platform::SetDatabaseOperation(platform::kRunScheduler, RunScheduler);
}

namespace {
// corvex links this library whole: the scheduler is installed before main.
struct Installer {
  Installer() { InstallScheduler(); }
} installer;
}  // namespace

}  // namespace favourites
