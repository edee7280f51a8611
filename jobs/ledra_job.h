// Where the Ledra-data replication job plugs into the job task. A Schedule
// whose "IsLedra" begins with 'Y' is handed to the runner set here; by
// default that is RunLedraReplication, the replication job of
// jobs/replication_job.h. With the runner set to null the job task logs
// kNoLedraJobRunner and runs only the closing steps.
//
// The runner gets:
//   job       the process record (jobs/job_context.h): the open
//             configuration database (job.config_database), the Schedule's
//             id (job.schedule_id), the log (job.Log), the status file
//             (job.WriteStatusFile) and the status dialog
//             (job.StatusDialog), the platform error report
//             (job.ReportPlatformError), and the stop state (job.stop,
//             job.Stopped()), which it should read between long steps;
//   schedule  the Schedule document, open; the runner may read it, and
//             must not close it (the job task closes it, discarding
//             changes).
// It sets, for the closing steps and the closing message: job.target_path
// (the local replica; job.target_server may stay "" for the default
// server "Local"), job.compact, job.auto_fulltext, job.quiet,
// job.result_title (the replica's title, when it completed), and
// job.closing_url (its "http://[kv]/Local:/%s:/" address; the closing
// message puts no replica context before it).
#pragma once

#include "jobs/job_context.h"
#include "ledra/vx_types.h"

namespace jobs {

inline constexpr char kNoLedraJobRunner[] =
    "This Schedule names a Ledra-data replication, which this build of the job task cannot run; "
    "only the closing steps run.";

using LedraJobRunner = void (*)(JobContext& job, VXHandle schedule);

// The replication job run for the job task: its log lines go to the log
// list, its status dialog and waits are the task's, and what it read and
// did becomes the closing steps' target, flags, result title and address.
void RunLedraReplication(JobContext& job, VXHandle schedule);

void SetLedraJobRunner(LedraJobRunner runner);
LedraJobRunner GetLedraJobRunner();

}  // namespace jobs
