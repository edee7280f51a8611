// The Ledra-data replication job in the job task.
#include "jobs/ledra_job.h"

#include <algorithm>
#include <atomic>

#include "jobs/replication_job.h"
#include "os/sync.h"

namespace jobs {

namespace {
std::atomic<LedraJobRunner> runner{&RunLedraReplication};
constexpr int kPauseStepMs = 100;
}  // namespace

void RunLedraReplication(JobContext& job, VXHandle /*schedule*/) {
  // The job reads the Schedule by its id itself (it must see the saved
  // items, whatever the task's open copy holds).
  replication::ReplicationJobHost host;
  host.log = [&job](std::string_view line) { job.Log(line); };
  host.status = [&job](std::string_view message, int milliseconds, bool force) {
    job.StatusDialog(message, milliseconds, force);
  };
  // The closing pause is one of the task's fixed waits (tests shorten
  // them all); it ends early once the stop state is set.
  host.pause = [&job](int milliseconds) {
    int left = std::min(milliseconds, job.timing.replication_pause_ms);
    while (left > 0 && !job.Stopped()) {
      int step = std::min(left, kPauseStepMs);
      os::SleepMs(step);
      left -= step;
    }
  };
  host.stop = &job.stop;
  replication::ReplicationJobResult result =
      replication::ReplicateLedraData(job.config_database, job.schedule_id, host);

  // The closing steps work on the local replica on "Local"; they compact
  // and index it when asked, and leave its documents alone.
  job.target_server.clear();
  job.purge_refused = false;
  job.target_path = result.target_path;
  if (result.compact != '\0') job.compact = result.compact;
  if (result.auto_full_text_index != '\0') job.auto_fulltext = result.auto_full_text_index;
  if (result.quiet_mode != '\0') job.quiet = result.quiet_mode;
  // The closing message says the replica was brought up to date only when
  // the replication ran; a failed one has been reported, and the message
  // then asks for another run.
  if (result.replicated && !result.result_title.empty()) job.result_title = result.result_title;
  job.closing_url = result.closing_address;
  job.closing_without_context = true;
}

void SetLedraJobRunner(LedraJobRunner job_runner) {
  runner = job_runner;
}
LedraJobRunner GetLedraJobRunner() {
  return runner.load();
}

}  // namespace jobs
