// The process-wide record of the job task: the stop state, the log and the
// status reporting, the settings read at initialisation, and what the job
// leaves for the closing steps and the closing message. One job runs per
// process; the worker thread owns everything here except the two words
// that the window thread also writes (stop, verbose).
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "jobs/job_window.h"
#include "ledra/datetime.h"
#include "ledra/vx_types.h"

namespace jobs {

// Values of the stop state. Once non-zero it never returns to 0.
enum StopState : int32_t {
  kRunning = 0,
  kCompleted = 1,    // completed, or Exit chosen
  kTimeLimit = 6,    // MaxRunTime reached
  kSizeLimit = 7,    // database size or disk space limit reached
  kInterrupted = 8,  // the window was closed
};

// The fixed waits of the job task. Tests shrink them.
struct JobTiming {
  int retry_wait_ms = 20000;     // before the one retry of a failed fetch
  int exit_wait_ms = 5000;       // after the closing message
  int key_view_exit_ms = 15000;  // before ending when the key view is missing
  int destroy_wait_ms = 3000;    // before the window closes after a stop
  int close_wait_ms = 8000;      // after a close request
  int minute_ms = 60000;         // one minute of MaxRunTime
  int connect_timeout_ms = 30000;
  int idle_timeout_ms = 60000;      // silence that ends a receive as failed
  int replication_pause_ms = 3000;  // after a Ledra-data replication
};

// Reads CORVANE_JOB_WAIT_MS (every fixed wait), CORVANE_JOB_MINUTE_MS and
// CORVANE_FETCH_TIMEOUT_MS (connect and idle time-outs) over the defaults.
JobTiming TimingFromEnvironment();

// The status file's form of a message: each line feed a blank, carriage
// returns dropped, each double quote two apostrophes.
std::string StatusFileText(std::string_view message);

struct JobContext {
  JobWindow* window = nullptr;
  std::string program_dir;  // the working folder; "" for the current one
  JobTiming timing;

  std::atomic<int32_t> stop{kRunning};
  std::atomic<int32_t> verbose{1};
  std::string startup_argument;

  VXHandle config_database = 0;  // kvconfig.ldf on "Local", open for the run
  VXNoteId schedule_id = 0;
  ledra::Datetime run_start;
  std::string job_kind;                     // "Favorite" or "Ledra database"
  std::optional<std::string> result_title;  // none: nothing was completed
  std::string target_server, target_path;   // of the closing steps
  char compact = 'N', auto_fulltext = 'N', quiet = 'N';
  std::string replica_context;     // "[wr;server;path]" with '/' and '\' made ';'
  std::string stored_results_key;  // set when a stored form is replayed
  // What the closing message names: the starting URL (a Ledra job puts its
  // [kv] address here), and whether the replica context stands before it.
  std::string closing_url;
  bool closing_without_context = false;
  // Whether the closing steps purge refused elements (unchanged for a day)
  // from the target: only a page-replica database holds them. In the
  // replica of a Ledra database the same selection would take the user's
  // own documents, and the next replication would delete them on the
  // server too.
  bool purge_refused = true;
  std::string proxy_credentials;  // "Proxy-Authorization: Basic %s" or ""
  std::string http_proxy, proxy_overrides;
  std::string results_category;
  // A job that must end the process at once (the key view of the
  // page-replica database is missing): its exit code, after a wait.
  bool abort = false;
  int abort_exit_code = 0;
  int abort_after_ms = 0;

  // Sets a non-zero stop state (0 is ignored: it never returns) and tells
  // the window.
  void SetStop(int32_t state);
  bool Stopped() const { return stop.load() != kRunning; }

  // A log line, when verbose is set.
  void Log(std::string_view line);
  void ClearLog();
  // Overwrites htmdata/wbstatus.dat with the message in its one-line form.
  void WriteStatusFile(std::string_view message);
  // The status dialog: writes the status file, then shows the dialog for
  // `milliseconds` when `force` is set or QuietMode is not 'Y'.
  void StatusDialog(std::string_view message, int milliseconds, bool force);
  // The platform's last error in a message box and the log.
  void ReportPlatformError();
  // The folder of temporary files: TMP, else wtemp/ of the program folder,
  // else /tmp.
  std::string TempFolder() const;
  // A new temporary file "#wbr..." holding `bytes`; "" when it cannot be
  // made.
  std::string WriteTempFile(std::string_view bytes) const;
  // One of the fixed waits.
  void Wait(int milliseconds);
};

}  // namespace jobs
