// The Ledra-data replication job of the background task: keeps a local
// replica of a database on a server, as a Schedule document whose "IsLedra"
// is "Y" describes it. The first run makes the replica by copying the
// database from the server; every run sets the replica's selective formula
// and cut-off from the Schedule, replicates both ways and logs what moved.
//
// The job reaches the task it runs in only through ReplicationJobHost (its
// log list, status dialog, message boxes, waits and stop state) and hands
// back what the task's closing steps need (ReplicationJobResult). It calls
// the platform itself, on the calling thread, which must have initialised
// it.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "ledra/datetime.h"
#include "ledra/vxapi.h"

namespace jobs::replication {

// Log lines, as the job writes them.
inline constexpr char kLogBeginning[] = "\n\nBeginning Ledra-data replications...\n";
inline constexpr char kLogSkipping[] = "ERROR, skipping!\n";
inline constexpr char kLogReplicationFormat[] =
    "Beginning Replication of %s from %s as LOCAL %s, cutoff %ld";
inline constexpr char kLogNewReplica[] = "Initializing NEW Local Replica...";
inline constexpr char kLogOpening[] = "Opening Local Replica...";
inline constexpr char kLogDone[] = "DONE.\n";
inline constexpr char kLogPurging[] = "Purging old docs...";
inline constexpr char kLogReplicating[] = "Replicating...";
inline constexpr char kLogFinished[] = "Finished:";
inline constexpr char kLogReceivedFormat[] = "Received: %d additions, %d deletions, %d updates";
inline constexpr char kLogSendFormat[] = "Send: %d additions, %d deletions, %d updates";
inline constexpr char kLogAllFinished[] = "Finished with Ledra-data replication.\n";
// The error report.
inline constexpr char kErrorTitle[] = "Pellam Corvane: Ledra Replication Error";
inline constexpr char kErrorLogFormat[] = "\nLedra Error: %s\n\n";
inline constexpr char kNoErrorText[] = "Could not perform requested action.";
// A formula that does not compile leaves the replica's formula as it was.
inline constexpr char kFormulaErrorFormat[] =
    "The replication formula was not changed: it does not compile (%s)";
// The status dialog at the start, and the address of the closing message.
inline constexpr char kStatusStarted[] = "Background processing started";
inline constexpr int kStatusStartedMs = 3000;
inline constexpr char kClosingAddressFormat[] = "http://[kv]/Local:/%s:/";
inline constexpr int kFinalPauseMs = 3000;
// A first run with no cut-off gives the new replica one of twenty years.
inline constexpr long kNewReplicaCutoffDays = 7300;

struct ReplicationJobHost {
  // Adds a line to the task's log list.
  std::function<void(std::string_view line)> log;
  // The task's status dialog: writes the status file, then shows the
  // message for the time given (unless the task is quiet and not forced).
  std::function<void(std::string_view message, int milliseconds, bool force)> status;
  // A message box brought to the foreground. Unset: the desktop's.
  std::function<void(std::string_view text, std::string_view title)> message_box;
  // Waits; unset: sleeps, ending early once the stop state is set.
  std::function<void(int milliseconds)> pause;
  // The task's stop state (0 running); may be null.
  const std::atomic<int>* stop = nullptr;
};

struct ReplicationJobResult {
  std::string result_title;     // the replica's title; empty: nothing completed
  std::string target_path;      // "LocalReplica": the closing steps' database
                                // (its server stays empty)
  std::string closing_address;  // "http://[kv]/Local:/<LocalReplica>:/"
  char compact = '\0';          // first letters of the Schedule's flags
  char auto_full_text_index = '\0';
  char quiet_mode = '\0';
  bool replicated = false;  // the replication itself succeeded
  VXReplicationStats statistics;
  int error_reports = 0;
};

// Runs the job for the Schedule document schedule_id of the open
// configuration database. Always returns (failures are reported and
// logged); the result says what was done.
ReplicationJobResult ReplicateLedraData(VXHandle config_database, VXNoteId schedule_id,
                                        const ReplicationJobHost& host);

// Replaces the replica's selective formula by formula text; an empty text
// leaves the formula as it is. The text is compiled first: a formula that
// does not compile changes nothing (kVXFormulaError, the compiler's message
// for VXErrorFetch). The old formula notes go and the new one comes in one
// transaction.
[[nodiscard]] VXStatus SetReplicationFormula(VXHandle database, std::string_view formula);
// Puts the cut-off date into the database's replication information.
[[nodiscard]] VXStatus SetCutoffDate(VXHandle database, const ledra::Datetime& cutoff);
// "Encryption_N" as the copy call's encryption option (0: none).
uint32_t EncryptionOption(std::string_view value);

}  // namespace jobs::replication
