// The registration of the Ledra-data replication job.
#include "jobs/ledra_job.h"

#include <atomic>

namespace jobs {

namespace {
std::atomic<LedraJobRunner> runner{nullptr};
}

void SetLedraJobRunner(LedraJobRunner job_runner) {
  runner = job_runner;
}
LedraJobRunner GetLedraJobRunner() {
  return runner.load();
}

}  // namespace jobs
