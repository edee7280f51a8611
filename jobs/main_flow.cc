// The job task's main flow.
#include "jobs/main_flow.h"

#include <ctime>
#include <map>
#include <string>
#include <vector>

#include "common/text.h"
#include "jobs/arguments.h"
#include "jobs/base64.h"
#include "jobs/crawl_settings.h"
#include "jobs/crawler.h"
#include "jobs/documents.h"
#include "jobs/ledra_job.h"
#include "ledra/datetime.h"
#include "platform/configuration.h"
#include "platform/translate.h"

namespace jobs {

namespace {

constexpr char kConfigurationDatabase[] = "kvconfig.ldf";
constexpr char kLocal[] = "Local";
// The refused elements. Their age is tested on each document found: an
// index search with "& (@modified < @yesterday)" also selects documents
// saved a moment ago, which would purge every element refused in this run.
constexpr char kPurgeFormula[] = "Select ReturnCode=0";
// One-time schedules that have started (the scheduler disabled them) remove
// themselves; one that has not run yet stays until it has.
constexpr char kOneTimeFormula[] = "Select DeleteSelfAfterRun=\"Y\" & Enabled!=\"Enabled\"";
constexpr char kCompletedWithTitle[] =
    "<a target=_top href='http://%s%s'>Processing completed for %s\n\"%s\" on %s</a>";
constexpr char kCompletedUntitled[] = "Processing completed for %s:\n\"%s\"";
constexpr uint32_t kCompactOpenMode = 10;
constexpr uint32_t kFullTextOptions = 200;

std::string CalendarNow() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[64] = {};
  std::strftime(text, sizeof text, "%a %b %e %H:%M:%S %Y\n", &local);
  return text;
}

// Whether the document was last saved before yesterday (midnight, the
// platform's clock).
bool ModifiedBeforeYesterday(VXHandle database, VXNoteId id) {
  VXHandle document = 0;
  if (VXDocumentOpen(database, id, kVXDocOpenReadOnly, &document) != kVXOk) return false;
  ledra::Datetime modified;
  bool known =
      VXDocumentGetProperty(document, kDocPropModified, &modified, sizeof modified) == kVXOk;
  VXDocumentClose(document, kVXCloseDiscard);
  ledra::Datetime yesterday = ledra::DatetimeToday();
  yesterday.ticks -= ledra::kTicksPerDay;
  return known && modified.ticks < yesterday.ticks;
}

void ReadConfigurationDocument(JobContext& job) {
  std::vector<VXNoteId> ids;
  VXHandle document = 0;
  if (SelectDocuments(job.config_database, platform::kConfigurationFormula, &ids) != kVXOk ||
      ids.empty() || VXDocumentOpen(job.config_database, ids.front(), 0, &document) != kVXOk) {
    return;
  }
  std::string login = TextItem(document, "ProxyLogin");
  if (!login.empty())
    job.proxy_credentials =
        BasicCredentialsHeader("Proxy-Authorization", login, TextItem(document, "Password", 4090));
  job.http_proxy = TextItem(document, "HTTPProxy");
  job.proxy_overrides = TextItem(document, "ProxyOverrides");
  job.results_category = TextItem(document, "ResultsCategory", 256);
  VXDocumentClose(document, kVXCloseDiscard);
}

void ChooseJob(JobContext& job, Outbound& outbound, VXHandle* schedule) {
  if (common::StartsWithNoCase(TextItem(*schedule, "BackgroundFullTextIndex"), "B")) {
    job.auto_fulltext = 'Y';
    // A maintenance-only job indexes the page-replica database its
    // Schedule names (the default one without a Repository).
    std::string title;
    ParseRepository(TextItem(*schedule, "Repository", 4095), &title, &job.target_server,
                    &job.target_path);
    return;
  }
  // A Schedule without the item is a favourite, as one without a value.
  std::string is_ledra = TextItem(*schedule, "IsLedra");
  if (!is_ledra.empty() && is_ledra[0] == 'Y') {
    job.job_kind = "Ledra database";
    job.closing_without_context = true;
    if (LedraJobRunner runner = GetLedraJobRunner()) {
      runner(job, *schedule);
    } else {
      job.Log(kNoLedraJobRunner);
    }
    return;
  }
  job.job_kind = "Favorite";
  Crawler crawler(job, outbound);
  crawler.Crawl(schedule);
}

void ClosingSteps(JobContext& job) {
  std::string server = job.target_server.empty() ? kLocal : job.target_server;
  const std::string& path = job.target_path;
  VXHandle target = 0;
  if (job.purge_refused && !path.empty() &&
      VXDatabaseOpen(server.c_str(), path.c_str(), 0, &target) == kVXOk) {
    std::vector<VXNoteId> refused;
    if (SelectDocuments(target, kPurgeFormula, &refused) == kVXOk)
      for (VXNoteId id : refused)
        if (ModifiedBeforeYesterday(target, id)) (void)VXDocumentDelete(target, id, 0);
    VXDatabaseClose(target, 0);
  }
  if (!job.Stopped() && job.compact == 'Y') {
    job.Log("Compacting database...");
    VXHandle database = 0;
    VXStatus status = VXDatabaseOpen(server.c_str(), path.c_str(), kCompactOpenMode, &database);
    if (status == kVXOk) {
      VXDatabaseClose(database, 0);
      status = VXDatabaseCompact(server.c_str(), path.c_str());
    }
    if (status != kVXOk) job.Log("Compacting failed: " + LastPlatformError());
  }
  if (!job.Stopped() && job.auto_fulltext == 'Y') {
    job.Log("Full-text indexing database...");
    job.WriteStatusFile("Full text indexing Favorites database...");
    VXHandle database = 0;
    VXStatus status = VXDatabaseOpen(server.c_str(), path.c_str(), 0, &database);
    if (status == kVXOk) {
      status = VXDatabaseCreateFTIndex(database, kFullTextOptions, 0, 0);
      VXDatabaseClose(database, 0);
    }
    if (status != kVXOk) job.Log("Full-text indexing failed: " + LastPlatformError());
    job.WriteStatusFile("Full text indexing completed.");
  }
  if (job.config_database != 0) {
    std::vector<VXNoteId> one_time;
    if (SelectDocuments(job.config_database, kOneTimeFormula, &one_time) == kVXOk)
      for (VXNoteId id : one_time) (void)VXDocumentDelete(job.config_database, id, 0);
    // This job's own one-time schedule goes too, however it was started.
    VXHandle own = 0;
    if (job.schedule_id != 0 &&
        VXDocumentOpen(job.config_database, job.schedule_id, kVXDocOpenReadOnly, &own) == kVXOk) {
      bool delete_self = TextItem(own, "DeleteSelfAfterRun") == "Y";
      VXDocumentClose(own, kVXCloseDiscard);
      if (delete_self) (void)VXDocumentDelete(job.config_database, job.schedule_id, 0);
    }
  }
}

std::string ClosingMessage(const JobContext& job) {
  if (job.result_title) {
    std::string address = !job.stored_results_key.empty()
                              ? job.stored_results_key
                              : job.closing_url.substr(std::min<size_t>(7, job.closing_url.size()));
    std::string context = job.closing_without_context ? "" : job.replica_context;
    return common::Format(kCompletedWithTitle, context.c_str(), address.c_str(),
                          job.job_kind.c_str(), job.result_title->c_str(), CalendarNow().c_str());
  }
  if (job.stop.load() == kCompleted)
    return common::Format(kCompletedUntitled, job.job_kind.c_str(), "(untitled)");
  return kPrematureMessage;
}

}  // namespace

void RunMainFlow(JobContext& job, Outbound& outbound) {
  job.Log("Pellam Corvane: Background Replication Task");
  job.Log("Startup argument: " + job.startup_argument);
  job.Log("Initializing data storage facilities");
  VXNoteId id = ScheduleIdFromArgument(job.startup_argument);
  VXStatus status = _VXInit(0x45004, nullptr, nullptr, nullptr);
  bool initialised = status == kVXOk;
  if (initialised) {
    job.Log("Successful initialization.");
    int32_t one = 1, lock_wait = 4;
    (void)VXSetProperty(kVXPropNoPrompt, &one);
    (void)VXSetProperty(kVXPropDefaultServer, kLocal);
    (void)VXSetProperty(kVXPropLockWait, &lock_wait);
    if (VXDatabaseOpen(kLocal, kConfigurationDatabase, 0, &job.config_database) == kVXOk) {
      ReadConfigurationDocument(job);
    } else {
      job.config_database = 0;
    }
  }
  if (!initialised || id == 0) {
    job.Log(common::Format("* FAILED Ledra initialization: code=%ld", static_cast<long>(status)));
  } else {
    job.run_start = PlatformNow();
    job.schedule_id = id;
    VXHandle schedule = 0;
    if (job.config_database == 0 ||
        VXDocumentOpen(job.config_database, id, 0, &schedule) != kVXOk) {
      job.ReportPlatformError();
    } else {
      ChooseJob(job, outbound, &schedule);
      if (schedule != 0) VXDocumentClose(schedule, kVXCloseDiscard);
    }
    if (job.abort) return;
    ClosingSteps(job);
  }

  if (job.stop.load() == kInterrupted) {
    job.StatusDialog(kInterruptedMessage, 3000, true);
    job.result_title.reset();
  }
  job.Log("Shutting down Background Jobs task.");
  if (job.config_database != 0) VXDatabaseClose(job.config_database, 0);
  job.config_database = 0;
  if (initialised) VXTerm(0);
  std::string message = ClosingMessage(job);
  job.SetStop(kCompleted);
  job.StatusDialog(message, 5000, false);
  job.WriteStatusFile(message);
}

}  // namespace jobs
