// The favourite crawl: from the Schedule's starting URL, passes of growing
// depth that download each element once per run (fetch mode) and follow
// the stored link lists once per pass (walk mode), within the bounding
// URLs, the content-type filter, the search-text veto, a custom content
// filter, and the time, database-size and disk-space limits; every element
// is stored in the page-replica database.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "jobs/crawl_settings.h"
#include "jobs/job_context.h"
#include "jobs/outbound.h"
#include "jobs/page_store.h"
#include "ledra/datetime.h"

namespace jobs {

class Crawler {
 public:
  Crawler(JobContext& job, Outbound& outbound) : job_(job), outbound_(outbound) {}

  // The whole favourite job on the open Schedule document, which it closes
  // (keeping the change of "When") and zeroes. Sets the closing steps'
  // target database and flags in the job context.
  void Crawl(VXHandle* schedule);

  // Free bytes on the file system of a path (the disk-space limit); tests
  // put their own.
  std::function<int64_t(const std::string&)> free_disk_bytes;

 private:
  enum class Mode { kFetch, kWalk };
  struct Fetched {
    std::string response;
    int status = 0;
    bool refused = false;  // not requested or not kept: no response at all
  };
  struct Element {
    VXHandle document = 0;
    bool handled = false;
    std::string since;  // If-Modified-Since
  };

  // crawler.cc
  bool Start(VXHandle* schedule);
  void RunPasses();
  void ProcessElement(Mode mode, const std::string& referrer, const std::string& link, int parent);
  bool Normalise(const std::string& link, const std::string& referrer, int depth, bool page_link,
                 std::string* url);
  void CheckLimits();

  // crawl_fetch.cc
  Fetched Fetch(const std::string& url, const std::string& since, int depth, bool page_link);
  std::string BuildRequest(const std::string& url, const std::string& since, bool replay,
                           bool via_proxy) const;
  void Receive(os::Socket socket, Fetched* fetched);
  void RunContentFilter(const std::string& url, Fetched* fetched);
  // Content type, text-page decision and search-text veto of a 200 answer.
  void DecideContent(const std::string& url, const Fetched& fetched);

  // crawl_storage.cc
  Element FindOrCreate(Mode mode, int depth, std::string key);
  void StoreRefused(VXHandle document);
  void StoreElement(VXHandle document, const std::string& url, const Fetched& fetched, int depth);
  std::string RecordReferrer(VXHandle document, const std::string& referrer);
  void CloseElement(VXHandle document);
  void Report(const std::string& url, std::string title, bool unchanged);
  std::string StoredFormKey();

  JobContext& job_;
  Outbound& outbound_;
  CrawlSettings settings_;
  PageStore store_;
  std::string database_file_;  // for the size limit

  int level_bound_ = 1;
  int full_depth_ = 1;
  ledra::Datetime pass_start_;
  int64_t crawl_start_ms_ = 0;
  // The file system is asked for sizes and free space at most this often;
  // the bytes stored in between are counted by the page store.
  static constexpr int64_t kMeasureIntervalMs = 250;
  int64_t measured_at_ms_ = -kMeasureIntervalMs;
  int64_t measured_size_ = 0, measured_free_ = -1;
  bool start_flag_ = false;
  bool redirection_ = false;
  bool page_link_walk_ = false;
  bool storage_veto_ = false;
  bool text_page_ = false;
  std::string content_type_;
  long requests_ = 0;
  std::string start_url_;
  std::string start_host_;
  std::string site_credentials_;  // "Authorization: Basic %s" or ""
  std::string download_date_;     // DateDownloaded text of the run
  std::string results_category_;  // ResultsCategory\favourite title, or ""
  std::string stored_form_key_;
};

}  // namespace jobs
