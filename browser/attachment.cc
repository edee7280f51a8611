// The attachment command.
#include "browser/attachment.h"

#include <strings.h>
#include <unistd.h>

#include <cstdio>
#include <mutex>

#include "browser/command_dispatch.h"
#include "browser/navigator.h"
#include "browser/platform_helpers.h"
#include "common/reply_forms.h"
#include "common/text.h"
#include "engine/error_page.h"
#include "os/dialog.h"
#include "platform/name_lists.h"
#include "platform/translate.h"

namespace browser {

namespace {

using common::Format;

constexpr char kServeFormat[] = "HTTP/1.0 200 OK\r\n%s\r\n%sContent-length: %ld\r\n\r\n";
constexpr char kDetachErrorTitle[] = "File-Detach Error";
constexpr char kAttachFailureTitle[] = "File-Attach Failure";
constexpr char kAttached[] = "File successfully attached.";
constexpr char kDetachFailureTitle[] = "File-Detach Failure";
constexpr char kDetached[] = "File successfully detached.";
constexpr char kDeleteInsteadQuestion[] = "DELETE this attachment instead?";
constexpr char kDeleteFailureTitle[] = "Attachment Deletion Failure";
constexpr char kDeleted[] = "Attachment successfully deleted";
constexpr char kNoActionTaken[] = "No action taken.";
constexpr char kFileFilter[] = "All (*.*)";
constexpr char kOpenTitle[] = "Open";
constexpr char kSaveTitle[] = "Save As";
constexpr char kDocumentView[] = "/D/";
constexpr char kNoDocument[] = "No document %s in this database.";
constexpr char kNoAction[] = "The attachment link names no action.";
constexpr char kUnknownAction[] = "Unknown attachment action \"%s\".";
constexpr char kBadName[] = "\"%s\" cannot name an attachment.";
constexpr size_t kCopyBlock = 65536;

struct ContentType {
  const char* extension;
  const char* line;
};
constexpr ContentType kContentTypes[] = {
    {".htm", "Content-type: text/html"},
    {".html", "Content-type: text/html"},
    {".wav", "Content-type: audio/wav"},
    {".au", "Content-type: audio/au"},
    {".gif", "Content-type: image/gif"},
    {".jpg", "Content-type: image/jpeg"},
    {".class", "Content-type: application/x-java-class"},
};
constexpr char kPlainText[] = "Content-type: text/plain";

struct Request {
  engine::ThreadHandle& handle;
  engine::DatabaseRequest& request;
  VXHandle document;
  std::string name;  // argument 4
};

std::string ExtractionPath(const engine::ThreadHandle& handle) {
  const std::string& dir = handle.shared->programDir;
  return dir.empty() ? kExtractionFile : dir + "/" + kExtractionFile;
}

// The return URL; none when it is absent or would break the header.
std::string ReturnUrl(const engine::DatabaseRequest& request) {
  std::string url = request.returnUrl.value_or("");
  for (char c : url)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return "";
  return url;
}

void Serve(Request& r, std::FILE* reply) {
  std::string extraction = ExtractionPath(r.handle);
  if (platform::wrap::VXAttachmentExtract(r.document, r.name.c_str(), extraction.c_str(), 0) !=
      kVXOk) {
    std::string message = PlatformErrorText();
    (void)Tell(r.handle, message, kDetachErrorTitle, os::Icon::kError);
    (void)::unlink(extraction.c_str());
    // No content, but a page saying why rather than a closed connection.
    WriteErrorText(reply, r.handle, message);
    return;
  }
  std::FILE* content = std::fopen(extraction.c_str(), "rb");
  if (content != nullptr) {
    std::fseek(content, 0, SEEK_END);
    long length = std::ftell(content);
    std::fseek(content, 0, SEEK_SET);
    std::fprintf(reply, kServeFormat, ContentTypeLine(r.name), kAttachmentSafetyHeaders, length);
    std::string block(kCopyBlock, '\0');
    size_t got;
    while ((got = std::fread(block.data(), 1, block.size(), content)) > 0)
      std::fwrite(block.data(), 1, got, reply);
    std::fclose(content);
  }
  (void)::unlink(extraction.c_str());
}

// The file dialogs block every database request until they are answered.
// They hold the queue lock as well when it is free; waiting for it could
// deadlock with the reaper, which takes the queue lock and then waits for
// the operation this thread is running.
class QueueHold {
 public:
  explicit QueueHold(engine::ThreadHandle& handle)
      : lock_(handle.shared->queueLock, std::try_to_lock) {}

 private:
  std::unique_lock<os::Lock> lock_;
};

void Attach(Request& r) {
  std::string path;
  bool chosen;
  {
    QueueHold hold(r.handle);
    chosen = os::ChooseOpenFile(r.handle.shared->mainWindow, kOpenTitle, kFileFilter, &path);
  }
  if (!chosen) return;
  // The attachment is reported only once the document holding it is saved.
  if (platform::wrap::VXAttachmentAttach(r.document, path.c_str(), "", kVXAttachCompress) !=
          kVXOk ||
      VXDocumentSave(r.document, kVXCloseKeep) != kVXOk) {
    TellPlatformError(r.handle, kAttachFailureTitle);
    return;
  }
  (void)Tell(r.handle, kAttached, kPellamTitle, os::Icon::kInformation);
}

// The attachment's name as stored (the URL's is lower-cased).
std::string StoredName(VXHandle document, const std::string& name) {
  char listed[kVXPathSize * 3 + 1] = {};
  uint32_t bytes = 0;
  for (uint32_t code = kVXListFirst;
       platform::wrap::VXAttachmentList(document, code, listed, sizeof listed, &bytes) == kVXOk;
       code = kVXListNext) {
    if (strcasecmp(listed, name.c_str()) == 0) return listed;
  }
  return name;
}

void Detach(Request& r) {
  std::string path = StoredName(r.document, r.name);
  bool chosen;
  {
    QueueHold hold(r.handle);
    chosen = os::ChooseSaveFile(r.handle.shared->mainWindow, kSaveTitle, kFileFilter, &path);
  }
  if (chosen) {
    if (platform::wrap::VXAttachmentExtract(r.document, r.name.c_str(), path.c_str(), 0) != kVXOk)
      TellPlatformError(r.handle, kDetachFailureTitle);
    else
      (void)Tell(r.handle, kDetached, kPellamTitle, os::Icon::kInformation);
    return;
  }
  std::string back = ReturnUrl(r.request);
  if (back.empty() || back.find(kDocumentView) != std::string::npos ||
      !AskYesNo(r.handle, kDeleteInsteadQuestion, kPellamTitle)) {
    (void)Tell(r.handle, kNoActionTaken, kPellamTitle, os::Icon::kInformation);
    return;
  }
  if (platform::wrap::VXAttachmentDelete(r.document, r.name.c_str()) != kVXOk ||
      VXDocumentSave(r.document, kVXCloseKeep) != kVXOk) {
    TellPlatformError(r.handle, kDeleteFailureTitle);
    return;
  }
  (void)Tell(r.handle, kDeleted, kPellamTitle, os::Icon::kInformation);
}

void WriteReturn(std::FILE* reply, const engine::DatabaseRequest& request) {
  std::string back = ReturnUrl(request);
  if (back.empty())
    std::fputs(common::kReplyNoContent, reply);
  else
    std::fprintf(reply, common::kReplyRedirectFormat, back.c_str());
}

struct Installer {
  Installer() { Handlers().attachment = AttachmentCommand; }
} installer;

}  // namespace

const char* ContentTypeLine(const std::string& name) {
  size_t dot = name.rfind('.');
  if (dot == std::string::npos) return kPlainText;
  std::string extension = name.substr(dot);
  for (const ContentType& type : kContentTypes)
    if (strcasecmp(extension.c_str(), type.extension) == 0) return type.line;
  return kPlainText;
}

bool SafeAttachmentName(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return false;
  for (char c : name)
    if (c == '/' || c == '\\' || static_cast<unsigned char>(c) < 0x20) return false;
  return true;
}

int AttachmentCommand(const std::string& reply_path, engine::DatabaseRequest& request,
                      engine::ThreadHandle& handle) {
  std::FILE* reply = std::fopen(reply_path.c_str(), "wb");
  if (reply == nullptr) return 1;
  platform::OpenDatabase* db = OpenRequestDatabase(handle, request);
  if (db == nullptr || db->handle == 0) {
    engine::WriteErrorPage(reply, handle);
    std::fclose(reply);
    return 1;
  }
  std::string reference = request.argument1.value_or("");
  VXNoteId id = platform::ViewIdFromText(db->handle, reference);
  std::string action = request.argument2.value_or("");
  common::LowerCaseInPlace(action);
  int32_t guard = 0;
  (void)VXDatabaseSetProperty(db->handle, kDbPropDesignGuard, &guard);
  VXHandle document = 0;
  if (id == 0) {
    WriteErrorText(reply, handle, Format(kNoDocument, reference.c_str()));
  } else if (VXDocumentOpen(db->handle, id, 0, &document) != kVXOk) {
    document = 0;
    engine::WriteErrorPage(reply, handle);
  } else if (action.empty()) {
    WriteErrorText(reply, handle, kNoAction);
  } else {
    Request r{handle, request, document, request.argument4.value_or("")};
    bool named = action == "ap" || SafeAttachmentName(r.name);
    if (!named && (action == "ds" || action == "dp")) {
      WriteErrorText(reply, handle, Format(kBadName, r.name.c_str()));
    } else if (action == "ds") {
      Serve(r, reply);
    } else if (action == "ap") {
      Attach(r);
      WriteReturn(reply, request);
    } else if (action == "dp") {
      Detach(r);
      WriteReturn(reply, request);
    } else {
      WriteErrorText(reply, handle, Format(kUnknownAction, action.c_str()));
    }
  }
  if (document != 0) (void)VXDocumentClose(document, kVXCloseKeep);
  guard = 1;
  (void)VXDatabaseSetProperty(db->handle, kDbPropDesignGuard, &guard);
  std::fclose(reply);
  return 1;
}

}  // namespace browser
