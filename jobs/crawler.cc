// The favourite crawl: start, passes, the recursive step, normalisation and
// the limits.
#include "jobs/crawler.h"

#include <chrono>
#include <cstdio>

#include "common/page_replica_format.h"
#include "common/text.h"
#include "jobs/base64.h"
#include "jobs/documents.h"
#include "jobs/link_normalise.h"
#include "os/files.h"
#include "os/socket.h"
#include "platform/translate.h"

namespace jobs {

namespace {

constexpr char kCompactNotice[] =
    "After replication, the web database \"%s\" will be COMPACTED.  Please do not use this "
    "database until complete.";
constexpr char kProcessingStarted[] = "Background processing started";
constexpr char kTimeLimitLog[] = "Time limit of %ld minutes exceeded, terminating...";
constexpr char kTimeLimitDialog[] = "Time limit reached, shutting down replicator.";
constexpr char kSizeLimitLog[] = "Database size of %ld MB exceeded, terminating...";
constexpr char kSizeLimitDialog[] = "Database size limit reached, shutting down replicator.";
constexpr char kDiskLow[] =
    "WARNING: You have less than 1MB of disk space remaining.  Replication will be forced to "
    "stop at 500KB remaining.";
constexpr char kDiskHalt[] =
    "WARNING: Replication was halted due to insufficient disk space.  Please clear space "
    "before trying to replicate again.";
constexpr int kLimitDialogMs = 8000;

int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// "[wr;server;path]" with every '/' and '\' of both made ';'.
std::string ReplicaContext(const std::string& server, const std::string& path) {
  std::string text = "[wr;" + server + ";" + path + "]";
  for (char& c : text)
    if (c == '/' || c == '\\') c = ';';
  return text;
}

}  // namespace

void Crawler::Crawl(VXHandle* schedule) {
  if (Start(schedule)) RunPasses();
  store_.Close();
}

bool Crawler::Start(VXHandle* schedule) {
  std::string description, status;
  (void)os::SocketStartup(&description, &status);
  job_.Log("\n" + description + " " + status);

  ReadCrawlSettings(*schedule, &settings_);
  start_url_ = settings_.starting_url;
  if (settings_.offline_form_method == 'P')
    start_url_.erase(0, std::min<size_t>(5, start_url_.size()));
  size_t scheme = start_url_.find("http://");
  if (scheme != std::string::npos) {
    size_t host_end = start_url_.find_first_of("/", scheme + 7);
    start_host_ = start_url_.substr(
        scheme + 7, host_end == std::string::npos ? std::string::npos : host_end - scheme - 7);
    if (settings_.offline_form_method != 'P')
      start_host_ = start_host_.substr(0, start_host_.find_first_of("\r\n"));
  }
  if (settings_.offline_form_method != 'P')
    start_url_ = start_url_.substr(0, start_url_.find_first_of("\r\n"));
  job_.closing_url = start_url_.substr(0, start_url_.find_first_of("\r\n"));
  job_.closing_without_context = settings_.offline_form_method == 'P';
  if (!settings_.user_name.empty())
    site_credentials_ =
        BasicCredentialsHeader("Authorization", settings_.user_name, settings_.password);

  if (common::StartsWithNoCase(settings_.when, "Run Immediately") ||
      common::StartsWithNoCase(settings_.when, "Next Replication Cycle")) {
    (void)PutTextItem(*schedule, "When", "Disabled");
  }
  std::string title, server, path;
  ParseRepository(settings_.repository, &title, &server, &path);
  job_.replica_context = ReplicaContext(server, path);
  // A path written with ';' for its separators (as in a replica context)
  // names the same folders.
  for (char& c : path)
    if (c == ';' || c == '\\') c = '/';
  job_.target_server = server;
  job_.target_path = path;
  job_.compact = settings_.compact;
  job_.auto_fulltext = settings_.auto_fulltext;
  job_.quiet = settings_.quiet;

  if (settings_.compact == 'Y')
    job_.StatusDialog(common::Format(kCompactNotice, title.c_str()), 5000, false);
  if (!job_.results_category.empty()) {
    std::string name = settings_.title.substr(0, settings_.title.find(','));
    size_t first = name.find_first_not_of(' ');
    name = first == std::string::npos ? "" : name.substr(first);
    results_category_ = job_.results_category + "\\" + name;
  }

  VXDocumentClose(*schedule, kVXCloseKeep);
  *schedule = 0;
  if (!store_.Open(server, path, title, settings_.encryption)) {
    job_.Log("ERROR: Cannot open Web Replica database: " + server + " " + path + " " +
             LastPlatformError());
  } else {
    std::string directory = EnvironmentString("Directory");
    database_file_ = directory + "/" + path;
    if (directory.empty()) {
      char file[1024] = {};
      if (platform::wrap::VXDatabaseGetProperty(store_.database(), kDbPropFileName, file,
                                                sizeof file) == kVXOk)
        database_file_ = file;
    }
    if (!store_.OpenKeyView()) {
      job_.Log("ERROR: Cannot open key view in the Web replica database: " + path + ".  Exiting!");
      job_.abort = true;
      job_.abort_exit_code = -1;
      job_.abort_after_ms = job_.timing.key_view_exit_ms;
      return false;
    }
  }
  job_.Log("Fidelity: " + settings_.fidelity_text + " ");
  if (start_host_.empty() || store_.database() == 0 || !store_.HasKeyView()) return false;
  if (settings_.fidelity != 'S') job_.StatusDialog(kProcessingStarted, 3000, false);
  return true;
}

void Crawler::RunPasses() {
  full_depth_ = settings_.cutoff_levels + 1;
  level_bound_ = settings_.digging_mode == 'D' ? full_depth_ : 1;
  crawl_start_ms_ = NowMs();
  start_flag_ = true;
  bool first = true;
  while (!job_.Stopped()) {
    ledra::Datetime now = PlatformNow();
    // Elements walked in the last pass carry its start; the next pass must
    // begin later even on a clock that has not moved on.
    if (!first && now.ticks <= pass_start_.ticks) now.ticks = pass_start_.ticks + 1;
    pass_start_ = now;
    ProcessElement(Mode::kFetch, "", start_url_, 0);
    if (first) start_flag_ = true;
    ProcessElement(Mode::kWalk, "", start_url_, 0);
    first = false;
    if (level_bound_ == full_depth_ || level_bound_ != 4) {
      ++level_bound_;
    } else {
      level_bound_ = full_depth_;
    }
    if (level_bound_ > full_depth_) break;
  }
}

bool Crawler::Normalise(const std::string& link, const std::string& referrer, int depth,
                        bool page_link, std::string* url) {
  bool redirected = redirection_;
  redirection_ = false;
  if (!NormaliseLink(link, referrer, url)) return false;
  if (redirected && !settings_.bounding_urls.empty() && job_.verbose.load() != 0)
    job_.Log("Allowing for redirection...");
  if (depth >= 2 && !redirected && page_link && !settings_.bounding_urls.empty() &&
      !PassesBounds(*url, settings_.bounding_urls)) {
    job_.Log("Bounding veto on URL: " + *url);
    job_.Log("      (fails to pass bound test of \"" + settings_.bounding_urls + "\")");
    return false;
  }
  return true;
}

void Crawler::ProcessElement(Mode mode, const std::string& referrer, const std::string& link,
                             int parent) {
  // The page-link mark belongs to this element alone: the supporting
  // elements it brings are not bounded.
  bool page_link = page_link_walk_;
  page_link_walk_ = false;
  if (job_.Stopped()) return;
  CheckLimits();
  if (job_.Stopped()) return;
  int depth = parent + 1;
  if (depth > level_bound_) return;
  std::string url;
  // The start element of a replayed POST is the whole stored request.
  bool replay_start = start_flag_ && parent == 0 && settings_.offline_form_method == 'P';
  if (replay_start) {
    url = link;
    redirection_ = false;
  } else if (!Normalise(link, referrer, depth, page_link, &url)) {
    return;
  }
  Element element = FindOrCreate(mode, depth, ElementKey(url));
  if (element.document == 0 || element.handled) return;
  VXHandle document = element.document;

  bool answered_302 = false;
  storage_veto_ = false;
  text_page_ = false;
  content_type_.clear();
  if (mode == Mode::kFetch) {
    Fetched fetched = Fetch(url, element.since, depth, page_link);
    if (fetched.status == -1 || fetched.status == 503 || fetched.status == 504 ||
        fetched.status == 408) {
      job_.Wait(job_.timing.retry_wait_ms);
      if (job_.Stopped()) {
        CloseElement(document);
        return;
      }
      fetched = Fetch(url, element.since, depth, page_link);
    }
    if ((fetched.status == 301 || fetched.status == 302) && !fetched.response.empty()) {
      redirection_ = true;
      answered_302 = true;
      depth = parent;
    }
    if (fetched.refused) {
      StoreRefused(document);
      return;
    }
    if (!settings_.preprocessor.empty()) RunContentFilter(url, &fetched);
    if (fetched.status == 200 && !fetched.response.empty()) DecideContent(url, fetched);
    if (fetched.status == 304) {
      Report(url, TextItem(document, common::kItemTitle), true);
    } else {
      StoreElement(document, url, fetched, depth);
    }
  }
  std::string links = RecordReferrer(document, referrer);
  if (mode == Mode::kWalk && !links.empty()) {
    std::string code = TextItem(document, common::kItemReturnCode);
    if (code == "301" || code == "302") {
      redirection_ = true;
      --depth;
    }
  }
  CloseElement(document);

  size_t at = 0;
  while (at < links.size()) {
    size_t end = links.find('\n', at);
    if (end == std::string::npos) end = links.size();
    std::string line = links.substr(at, end - at);
    at = end + 1;
    if (line.empty()) continue;
    char marker = line[0];
    std::string target = line.substr(1);
    if (mode == Mode::kFetch) {
      if (marker == '-')
        ProcessElement(Mode::kFetch, url, target, answered_302 ? depth : depth - 1);
    } else {
      bool redirected = redirection_;
      if (marker == '+') {
        page_link_walk_ = true;
        ProcessElement(Mode::kFetch, url, target, depth);
        page_link_walk_ = false;
      }
      redirection_ = redirected;
      ProcessElement(Mode::kWalk, url, target, depth);
    }
    if (job_.Stopped()) return;
  }
}

void Crawler::CheckLimits() {
  if (settings_.max_run_time > 0 && job_.timing.minute_ms > 0 &&
      (NowMs() - crawl_start_ms_) / job_.timing.minute_ms >= settings_.max_run_time) {
    job_.Log(common::Format(kTimeLimitLog, settings_.max_run_time));
    job_.StatusDialog(kTimeLimitDialog, kLimitDialogMs, true);
    job_.SetStop(kTimeLimit);
    return;
  }
  int64_t now_ms = NowMs();
  if (now_ms - measured_at_ms_ >= kMeasureIntervalMs) {
    measured_at_ms_ = now_ms;
    measured_size_ = store_.database() != 0 ? store_.SizeBytes(database_file_) : 0;
    measured_free_ =
        free_disk_bytes ? free_disk_bytes(database_file_) : os::FreeDiskBytes(database_file_);
  }
  if (store_.database() != 0) {
    int64_t size = measured_size_ + store_.PendingSinceMeasured();
    if (size / 1000 > static_cast<int64_t>(settings_.max_db_size) * 1000) {
      job_.Log(common::Format(kSizeLimitLog, settings_.max_db_size));
      job_.StatusDialog(kSizeLimitDialog, kLimitDialogMs, true);
      job_.SetStop(kSizeLimit);
      return;
    }
  }
  int64_t free_bytes = measured_free_ < 0 ? -1 : measured_free_ - store_.PendingSinceMeasured();
  if (free_bytes >= 0 && free_bytes < 500000) {
    job_.StatusDialog(kDiskHalt, kLimitDialogMs, true);
    job_.SetStop(kSizeLimit);
  } else if (free_bytes >= 0 && free_bytes < 1000000) {
    job_.StatusDialog(kDiskLow, kLimitDialogMs, true);
  }
}

}  // namespace jobs
