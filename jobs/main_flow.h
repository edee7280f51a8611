// The main flow of the job task, run by its worker thread: initialisation
// from the Configuration document, the choice of the job for the Schedule
// document, the closing steps (purge of refused elements, compact,
// full-text index, removal of one-time schedules) and the closing message.
#pragma once

#include "jobs/job_context.h"
#include "jobs/outbound.h"

namespace jobs {

// Closing messages.
inline constexpr char kInterruptedMessage[] =
    "Processing interrupted at your request, shutting down replicator.";
inline constexpr char kPrematureMessage[] =
    "Replicator terminated prematurely. \nRun again and watch the log to determine cause.";

// Runs the whole flow up to and including the closing message (shutdown
// steps 1 to 4). The caller waits and ends the process. `outbound` opens
// the crawl's connections.
void RunMainFlow(JobContext& job, Outbound& outbound);

}  // namespace jobs
