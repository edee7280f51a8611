// The crawl's side of page storage: finding or making an element's
// document, storing what a fetch gave, recording referrers, and the report
// of a stored or unchanged page.
#include <unistd.h>

#include <ctime>

#include "common/http_date.h"
#include "common/page_replica_format.h"
#include "common/text.h"
#include "jobs/command_runner.h"
#include "jobs/crawler.h"
#include "jobs/documents.h"
#include "jobs/http_response.h"
#include "jobs/link_scan.h"
#include "jobs/stored_response.h"
#include "os/desktop.h"
#include "platform/translate.h"

namespace jobs {

namespace {

constexpr char kLinksTruncated[] =
    "Links and references on page exceed 64KB.\nLinks and references are truncated on replica "
    "of the following page:\n%s";
constexpr char kUnchanged[] = "Checked Favorite \"%s\". No changes found.";
constexpr char kChanged[] = "Changes detected for Favorite \"%s\".";
constexpr char kReplicated[] = "Replicated Favorite \"%s\". ";
constexpr char kPostQuestion[] = "%s\n\n Run \"%s\"?";
constexpr char kPostTitle[] = "Pellam Corvane: Post Processing";
constexpr char kSupportingPages[] = "\\supporting pages";

bool HasStoredResponse(VXHandle document) {
  char name[256];
  uint32_t bytes = 0;
  for (uint32_t code = kVXListFirst;
       platform::wrap::VXAttachmentList(document, code, name, sizeof name, &bytes) == kVXOk;
       code = kVXListNext) {
    if (std::string(name) == common::kStoredResponse) return true;
  }
  return false;
}

// The local date and time in the 24-character calendar form with its line
// feed ("Wed Jun 30 21:49:08 1993\n").
std::string CalendarNow() {
  std::time_t now = std::time(nullptr);
  char text[64] = {};
  std::tm local{};
  localtime_r(&now, &local);
  std::strftime(text, sizeof text, "%a %b %e %H:%M:%S %Y\n", &local);
  return text;
}

}  // namespace

std::string Crawler::StoredFormKey() {
  if (stored_form_key_.empty()) {
    std::string host = start_url_.size() > 7 ? start_url_.substr(7) : "";
    host = host.substr(0, host.find('/'));
    std::string key = host + "/Stored Web Form Results/" + CalendarNow() + "/";
    for (char& c : key) {
      if (c == '\n' || c == ':') c = ' ';
    }
    for (char& c : key) {
      if (c == ' ') c = '_';
    }
    stored_form_key_ = key;
    job_.stored_results_key = key;
  }
  return stored_form_key_;
}

Crawler::Element Crawler::FindOrCreate(Mode mode, int depth, std::string key) {
  Element element;
  if (start_flag_ && depth == 1 &&
      (settings_.offline_form_method == 'P' || settings_.offline_form_method == 'G'))
    key = StoredFormKey();
  VXNoteId id = store_.Find(key);
  VXHandle document = 0;
  if (id != 0 && VXDocumentOpen(store_.database(), id, 0, &document) == kVXOk) {
    if (TextItem(document, common::kItemReturnCode) == "200") {
      element.since = TextItem(document, common::kItemLastModified);
      if (settings_.fidelity != 'S' && !HasStoredResponse(document)) element.since.clear();
    }
    ledra::Datetime stamp;
    const ledra::Datetime& start = mode == Mode::kWalk ? pass_start_ : job_.run_start;
    if (ReadDatetimeItem(document,
                         mode == Mode::kWalk ? common::kItemTimeStamp2 : common::kItemTimeStamp,
                         &stamp) &&
        VXDatetimeCompare(&start, &stamp) <= 0) {
      VXDocumentClose(document, kVXCloseDiscard);
      element.handled = true;
      return element;
    }
  } else {
    document = 0;
    if (store_.Create(key, &document) != kVXOk) return element;
  }
  if (mode == Mode::kWalk) {
    (void)PutDatetimeItem(document, common::kItemTimeStamp2, pass_start_);
  } else {
    (void)PutDatetimeItem(document, common::kItemTimeStamp, job_.run_start);
    if (settings_.fidelity == 'S')
      (void)platform::wrap::VXAttachmentDelete(document, common::kStoredResponse);
    if (!results_category_.empty()) {
      std::string category = depth == 1 && !job_.result_title
                                 ? results_category_
                                 : results_category_ + kSupportingPages;
      std::string old = TextItem(document, common::kItemCategories);
      if (old.find(category) == std::string::npos) {
        // An element of several favourites lists every category.
        std::string joined = old.empty() ? category : category + "," + old;
        (void)PutTextItem(document, common::kItemCategories, joined);
      }
    }
    if (!job_.result_title) {
      job_.result_title = settings_.title;
      (void)PutTextItem(document, common::kItemTitle, settings_.title);
      (void)PutTextItem(document, common::kItemUserTitle, settings_.title);
    }
  }
  if (download_date_.empty()) download_date_ = TextItem(document, common::kItemTimeStamp);
  element.document = document;
  return element;
}

void Crawler::CloseElement(VXHandle document) {
  store_.CloseDocument(document, true);
  start_flag_ = false;
}

void Crawler::StoreRefused(VXHandle document) {
  (void)PutTextItem(document, common::kItemReturnCode, "0");
  CloseElement(document);
}

void Crawler::StoreElement(VXHandle document, const std::string& url, const Fetched& fetched,
                           int depth) {
  (void)depth;
  const std::string& response = fetched.response;
  int status = fetched.status;
  bool redirect = status == 301 || status == 302;
  std::string code = status == 302 && start_flag_ ? "200" : std::to_string(status);
  (void)PutTextItem(document, common::kItemReturnCode, code);
  (void)PutTextItem(document, common::kItemDateDownloaded, download_date_);
  std::string value;
  if (HeaderValue(response, "Content-length:", &value))
    (void)PutTextItem(document, common::kItemContentLength, value);
  (void)PutTextItem(document, common::kItemLastModified, "");
  if (status == 200 && HeaderValue(response, "Last-modified:", &value)) {
    (void)PutTextItem(document, common::kItemLastModified, value);
    std::string numeric;
    if (common::HttpDateToPlatformDate(value, &numeric))
      (void)PutTextItem(document, common::kItemLastModifiedDt, numeric);
  }
  (void)PutTextItem(document, common::kItemRefList, "");
  if (status == 200) (void)PutTextItem(document, common::kItemContentType, content_type_);

  size_t body = BodyStart(response);
  if (body == std::string::npos) return;
  bool style_sheet = status == 200 && common::StartsWithNoCase(content_type_, "text/css");
  if (status < 400) {
    std::string_view scanned =
        redirect ? std::string_view(response) : std::string_view(response).substr(body);
    ScanKind kind = text_page_    ? ScanKind::kPage
                    : style_sheet ? ScanKind::kStyleSheet
                                  : ScanKind::kOther;
    LinkScan links = ExtractLinks(scanned, status, storage_veto_, kind);
    (void)PutTextItem(document, common::kItemRefList, links.list);
    if (links.truncated)
      job_.StatusDialog(common::Format(kLinksTruncated, url.c_str()), 3000, false);
  }
  std::string title;
  if (status == 200 && text_page_ && PageTitle(std::string_view(response).substr(body), &title)) {
    (void)PutTextItem(document, common::kItemTitle, title);
    Report(url, title, false);
  }
  StoredKind kind = redirect      ? StoredKind::kRedirect
                    : text_page_  ? StoredKind::kPage
                    : style_sheet ? StoredKind::kStyleSheet
                                  : StoredKind::kAsIs;
  long body_length = 0;
  std::string stored = StoredResponse(response, kind, &body_length);
  if (kind == StoredKind::kPage)
    (void)PutTextItem(document, common::kItemContentLength, std::to_string(body_length));
  (void)platform::wrap::VXAttachmentDelete(document, common::kStoredResponse);
  std::string type = TextItem(document, common::kItemContentType);
  if (type.empty()) type = "text/unknown";
  if (storage_veto_ || !FidelityPasses(settings_.fidelity, type)) return;
  std::string file = job_.WriteTempFile(stored);
  if (file.empty()) return;
  if (platform::wrap::VXAttachmentAttach(document, file.c_str(), common::kStoredResponse,
                                         settings_.compression ? kVXAttachCompress : 0) == kVXOk)
    store_.CountPending(static_cast<int64_t>(stored.size()));
  ::unlink(file.c_str());
}

std::string Crawler::RecordReferrer(VXHandle document, const std::string& referrer) {
  std::string supports = TextItem(document, common::kItemSupports) + "\n";
  // A referrer counts as recorded only as a whole line: a URL that is the
  // start of another recorded one is still added.
  // The list stays within the platform's item size, like the link list.
  if (!referrer.empty() && supports.size() + referrer.size() + 1 <= kMaxLinkList &&
      ("\n" + supports).find("\n" + referrer + "\n") == std::string::npos) {
    supports += referrer + "\n";
    (void)PutTextItem(document, common::kItemSupports, supports);
  }
  return TextItem(document, common::kItemRefList);
}

void Crawler::Report(const std::string& url, std::string title, bool unchanged) {
  for (char& c : title)
    if (c == '\n') c = ' ';
  const char* form = unchanged ? kUnchanged : settings_.fidelity == 'S' ? kChanged : kReplicated;
  std::string message = common::Format(form, title.c_str());
  if (unchanged) {
    if (!settings_.postprocessor_f.empty()) (void)RunCommand(settings_.postprocessor_f, url, false);
  } else if (!settings_.postprocessor_t.empty()) {
    std::string question =
        !settings_.override_text.empty()
            ? settings_.override_text
            : common::Format(kPostQuestion, message.c_str(), settings_.postprocessor_t.c_str());
    bool run = true;
    if (settings_.show_dialog == 'Y')
      run = os::MessageBox(nullptr, question, kPostTitle, os::Icon::kQuestion,
                           os::Buttons::kYesNo) == os::Answer::kYes;
    if (run) (void)RunCommand(settings_.postprocessor_t, url, false);
  } else if (settings_.quiet != 'Y' || settings_.show_dialog == 'Y') {
    job_.StatusDialog(settings_.override_text.empty() ? message : settings_.override_text, 8000,
                      true);
  }
  if (!settings_.postprocessor_r.empty()) (void)RunCommand(settings_.postprocessor_r, url, false);
  if (url.empty() || url.find('\'') != std::string::npos) {
    job_.WriteStatusFile("<a target=_top href='http://[wc]/'>" + message + "</a>");
  } else {
    job_.WriteStatusFile("<a target=_top href='http://" + job_.replica_context +
                         url.substr(std::min<size_t>(7, url.size())) + "'>" + message + "</a>");
  }
}

}  // namespace jobs
