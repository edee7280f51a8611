// The Ledra-data replication job.
#include "jobs/replication_job.h"

#include <chrono>
#include <cstdlib>
#include <thread>
#include <vector>

#include "common/text.h"
#include "ledra/core_calls.h"
#include "ledra/formula/formula_calls.h"
#include "os/desktop.h"
#include "platform/translate.h"

namespace jobs::replication {
namespace {

namespace wrap = platform::wrap;

constexpr char kLocal[] = "Local";
constexpr uint32_t kOpenJob = 2;            // wait for locks as a job does
constexpr uint32_t kCopyAsReplica = 0x107;  // documents, design, properties, same replica id
constexpr uint32_t kCopyDesignClasses = 2046;
constexpr uint32_t kReplicateBothWays = 3;
constexpr uint32_t kReplicateAllClasses = 0;
constexpr uint32_t kReplicateAsJob = 1;
constexpr int32_t kRemoveOldDocuments = 128;
constexpr uint32_t kSummaryItem = 4;
constexpr uint32_t kNameAbbreviated = 1;

// One run of the job: its host, result and the replica's handle.
class Job {
 public:
  Job(const ReplicationJobHost& host, ReplicationJobResult* result)
      : host_(host), result_(result) {}

  void Log(std::string_view line) {
    if (host_.log) host_.log(line);
  }
  void Pause(int milliseconds) {
    if (host_.pause) {
      host_.pause(milliseconds);
      return;
    }
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (std::chrono::steady_clock::now() < end &&
           (host_.stop == nullptr || host_.stop->load() == 0)) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
  }
  // The platform error report: the message box and the log line. text
  // empty: the platform's last error.
  void ReportError(std::string text = "") {
    if (text.empty()) {
      char fetched[kVXErrorTextSize] = {};
      uint32_t code = 0, detail = 0;
      (void)wrap::VXErrorFetch(&code, &detail, fetched);
      text = fetched;
    }
    if (text.empty()) text = kNoErrorText;
    if (host_.message_box) {
      host_.message_box(text, kErrorTitle);
    } else {
      os::MessageBox(nullptr, text, kErrorTitle, os::Icon::kError, os::Buttons::kOk);
    }
    Log(common::Format(kErrorLogFormat, text.c_str()));
    ++result_->error_reports;
  }
  void Skip() {
    ReportError();
    Log(kLogSkipping);
  }

  void Run(VXHandle config, VXNoteId schedule_id);

 private:
  bool ReadSchedule(VXHandle config, VXNoteId schedule_id);
  bool OpenOrMakeReplica();
  void SetCutoff();
  void Replicate();

  const ReplicationJobHost& host_;
  ReplicationJobResult* result_;
  std::string source_, server_, path_, encryption_, formula_;
  long cutoff_ = 0;
  VXHandle replica_ = 0;
};

// Reads a text item. A missing item reads as empty unless it is required.
VXStatus ReadText(VXHandle document, const char* name, bool required, std::string* value) {
  value->clear();
  uint32_t length = 0;
  VXStatus s = wrap::VXItemGetLength(document, name, kVXTypeText, &length);
  if (s == kVXItemNotFound && !required) return kVXOk;
  if (s != kVXOk) return s;
  std::vector<char> buffer(3 * static_cast<size_t>(length) + 1, '\0');
  uint32_t got = 0;
  s = wrap::VXItemFetch(document, name, kVXTypeText, buffer.data(),
                        static_cast<uint32_t>(buffer.size()), &got);
  if (s != kVXOk) return s;
  value->assign(buffer.data(), got);
  return kVXOk;
}

char FirstLetter(const std::string& text) {
  return text.empty() ? '\0' : text[0];
}

bool Job::ReadSchedule(VXHandle config, VXNoteId schedule_id) {
  VXHandle doc = 0;
  if (VXDocumentOpen(config, schedule_id, 0, &doc) != kVXOk) {
    Skip();
    return false;
  }
  std::string compact, full_text, quiet, cutoff;
  bool ok = ReadText(doc, "RemoteSource", true, &source_) == kVXOk &&
            ReadText(doc, "RemoteServer", true, &server_) == kVXOk &&
            ReadText(doc, "LocalReplica", true, &path_) == kVXOk &&
            ReadText(doc, "Compact", false, &compact) == kVXOk &&
            ReadText(doc, "AutoFullTextIndex", false, &full_text) == kVXOk &&
            ReadText(doc, "QuietMode", false, &quiet) == kVXOk &&
            ReadText(doc, "CutOff", false, &cutoff) == kVXOk;
  if (ok) {
    result_->target_path = path_;
    result_->compact = FirstLetter(compact);
    result_->auto_full_text_index = FirstLetter(full_text);
    result_->quiet_mode = FirstLetter(quiet);
    cutoff_ = std::strtol(cutoff.c_str(), nullptr, 10);
    result_->closing_address = common::Format(kClosingAddressFormat, path_.c_str());
    ok = ReadText(doc, "Encryption_N", false, &encryption_) == kVXOk &&
         ReadText(doc, "ReplicationFormula", false, &formula_) == kVXOk;
  }
  if (!ok) {
    Skip();  // reports the failed read before the close can touch the error
    (void)VXDocumentClose(doc, kVXCloseDiscard);
    return false;
  }
  (void)VXDocumentClose(doc, kVXCloseDiscard);
  return true;
}

bool Job::OpenOrMakeReplica() {
  if (VXDatabaseOpen(kLocal, path_.c_str(), kOpenJob, &replica_) == kVXOk) {
    Log(kLogOpening);
    return true;
  }
  Log(kLogNewReplica);
  uint32_t options = EncryptionOption(encryption_) + kCopyAsReplica;
  if (VXDatabaseCopy(server_.c_str(), source_.c_str(), kLocal, path_.c_str(), 0, options,
                     kCopyDesignClasses, nullptr) != kVXOk ||
      VXDatabaseOpen(kLocal, path_.c_str(), 0, &replica_) != kVXOk) {
    replica_ = 0;
    Skip();
    return false;
  }
  if (cutoff_ == 0) cutoff_ = kNewReplicaCutoffDays;
  return true;
}

void Job::SetCutoff() {
  if (cutoff_ == 0) return;
  ledra::Datetime date;
  bool ok = VXDatetimeNow(&date) == kVXOk;
  VXDatetimeAdjustment back_one_day;
  back_one_day.days = -1;
  for (long day = 0; ok && day < std::labs(cutoff_); ++day)
    ok = VXDatetimeAdjust(&date, &back_one_day) == kVXOk;
  Log(kLogPurging);
  int32_t days = static_cast<int32_t>(cutoff_);
  ok = ok && VXDatabaseSetProperty(replica_, kDbPropCutoffDays, &days) == kVXOk &&
       VXDatabaseSetProperty(replica_, kDbPropReplOptions, &kRemoveOldDocuments) == kVXOk &&
       SetCutoffDate(replica_, date) == kVXOk;
  if (!ok) ReportError();
  Log(kLogDone);
}

void Job::Replicate() {
  if (replica_ != 0) {
    (void)VXDatabaseClose(replica_, 0);
    replica_ = 0;
  }
  Log(kLogReplicating);
  VXReplicationStats& s = result_->statistics;
  if (VXReplicateWithServer(server_.c_str(), kReplicateBothWays, kReplicateAllClasses,
                            kReplicateAsJob, path_.c_str(), &s) == kVXOk) {
    result_->replicated = true;
    Log(kLogFinished);
    Log(common::Format(kLogReceivedFormat, static_cast<int>(s.received_additions),
                       static_cast<int>(s.received_deletions),
                       static_cast<int>(s.received_updates)));
    Log(common::Format(kLogSendFormat, static_cast<int>(s.sent_additions),
                       static_cast<int>(s.sent_deletions), static_cast<int>(s.sent_updates)));
  } else {
    ReportError();
  }
  Log(kLogDone);
  Log(kLogAllFinished);
  Pause(kFinalPauseMs);
}

void Job::Run(VXHandle config, VXNoteId schedule_id) {
  Log(kLogBeginning);
  if (host_.status) host_.status(kStatusStarted, kStatusStartedMs, false);
  (void)VXSetProperty(kVXPropDefaultServer, kLocal);
  // Each failure before the replication is reported and skips to it.
  if (ReadSchedule(config, schedule_id)) {
    Log(common::Format(kLogReplicationFormat, source_.c_str(), server_.c_str(), path_.c_str(),
                       cutoff_));
    if (OpenOrMakeReplica()) {
      char title[kVXPathSize] = {};
      if (wrap::VXDatabaseGetProperty(replica_, kDbPropTitle, title, sizeof title) != kVXOk) {
        Skip();
      } else {
        result_->result_title = title;
        if (SetReplicationFormula(replica_, formula_) != kVXOk) {
          char message[kVXErrorTextSize] = {};
          uint32_t code = 0, detail = 0;
          (void)wrap::VXErrorFetch(&code, &detail, message);
          ReportError(common::Format(kFormulaErrorFormat, message));
        } else {
          Log(kLogDone);
        }
        SetCutoff();
      }
    }
  }
  Replicate();
}

}  // namespace

uint32_t EncryptionOption(std::string_view value) {
  std::string lower(value);
  common::LowerCaseInPlace(lower);
  char first = value.empty() ? '\0' : value[0];
  if (lower == "simple" || first == '2') return 0x1000000;
  if (lower == "medium" || first == '3') return 0x2000000;
  if (lower == "strong" || first == '4') return 0x3000000;
  return 0;
}

VXStatus SetCutoffDate(VXHandle database, const ledra::Datetime& cutoff) {
  VXHandle core = 0;
  if (VXStatus s = VXDatabaseGetProperty(database, kVXPropCoreHandle, &core, sizeof core);
      s != kVXOk)
    return s;
  LCReplicationInfo info;
  if (VXStatus s = LCReplicationInfoGet(core, &info); s != kVXOk) return s;
  info.cutoff = cutoff;
  return LCReplicationInfoSet(core, &info);
}

VXStatus SetReplicationFormula(VXHandle database, std::string_view formula) {
  if (formula.empty()) return kVXOk;
  // Compiled before anything is touched: a formula that does not compile
  // must leave the old one, or the next run would take every document.
  std::string text(formula);
  VXHandle compiled = 0;
  uint32_t compiled_length = 0;
  if (VXStatus s = LCFormulaCompile(text.c_str(), 0, &compiled, &compiled_length); s != kVXOk)
    return s;
  struct FreeCompiled {
    VXHandle h;
    ~FreeCompiled() { (void)LCMemFree(h); }
  } free_compiled{compiled};

  const int32_t design_open = 0, design_guarded = 1, purge_allowed = 1;
  if (VXStatus s = VXDatabaseSetProperty(database, kDbPropDesignGuard, &design_open); s != kVXOk)
    return s;
  if (VXStatus s = VXDatabaseSetProperty(database, kDbPropPurgeAllowed, &purge_allowed); s != kVXOk)
    return s;
  char user[kVXPathSize] = {}, title[kVXPathSize] = {};
  if (VXStatus s = VXGetProperty(kVXPropUserName, user, sizeof user); s != kVXOk) return s;
  if (VXStatus s = VXNameConvert(kNameAbbreviated, user, title, sizeof title); s != kVXOk) return s;

  // The new note is made whole before the old ones go.
  VXHandle doc = 0;
  if (VXStatus s = VXDocumentCreate(database, "", &doc); s != kVXOk) return s;
  VXHandle core = 0;
  const int32_t formula_class = kVXClassReplFormula;
  VXStatus s = VXDocumentSetProperty(doc, kDocPropClass, &formula_class);
  if (s == kVXOk) s = wrap::VXItemPut(doc, "$TITLE", kSummaryItem, 0, kVXTypeText, title, 0);
  if (s == kVXOk) s = wrap::VXItemPut(doc, "$ReplVersion", kSummaryItem, 0, kVXTypeText, "1", 0);
  if (s == kVXOk) s = wrap::VXItemAppendTextList(doc, "$ReplSrcServers", "-", 0, 0);
  if (s == kVXOk) s = wrap::VXItemAppendTextList(doc, "$ReplClassMasks", "2047", 0, 0);
  if (s == kVXOk) s = VXDocumentGetProperty(doc, kVXPropCoreHandle, &core, sizeof core);
  if (s == kVXOk) {
    const void* bytes = LCMemLock(compiled);
    s = LCNoteAppendItem(core, kSummaryItem, "$ReplFormula", kVXTypeFormula, bytes,
                         compiled_length);
    (void)LCMemUnlock(compiled);
  }
  if (s != kVXOk) {
    (void)VXDocumentClose(doc, kVXCloseDiscard);
    return s;
  }
  // The old formulas go and the new one comes in one transaction: a
  // failure on the way leaves the old ones.
  const int32_t batch_on = 1, batch_off = 0;
  s = VXDatabaseSetProperty(database, kDbPropBatch, &batch_on);
  for (int guard = 0; s == kVXOk && guard < 100000; ++guard) {
    VXNoteId old = VXDocumentLocateByClass(database, kVXClassReplFormula);
    if (old == 0) break;
    s = LCNoteDelete(database, old, kVXDeletePurge);
  }
  if (s == kVXOk) {
    s = VXDocumentClose(doc, kVXCloseKeep);
  } else {
    (void)VXDocumentClose(doc, kVXCloseDiscard);
  }
  VXStatus committed = VXDatabaseSetProperty(database, kDbPropBatch, &batch_off);
  if (s == kVXOk) s = committed;
  (void)VXDatabaseSetProperty(database, kDbPropDesignGuard, &design_guarded);
  return s;
}

ReplicationJobResult ReplicateLedraData(VXHandle config_database, VXNoteId schedule_id,
                                        const ReplicationJobHost& host) {
  ReplicationJobResult result;
  Job job(host, &result);
  job.Run(config_database, schedule_id);
  return result;
}

}  // namespace jobs::replication
