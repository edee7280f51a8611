// The two-way mapping between the URLs corvex writes and the URLs a current
// browser accepts. corvex writes its own links with pseudo-hosts in
// brackets (http://[kv]/..., http://[wc]/..., http://[wr;CONTEXT]KEY,
// http://[wrs;CONTEXT]KEY) and its images as file:// URLs into the program
// folder. A browser reads a bracketed host as an IPv6 literal and refuses
// these, and will not load file:// images into an http page. So, unless
// the classic URLs are asked for, replies leave corvex with each such URL
// written on a synonym host (the table below), and requests arrive with the
// synonym written back into the pseudo-host form before anything else
// reads them.
//
// The forms (see docs/URLS.md for the whole grammar and the reasons):
//   http://[kv]/REST        http://corvane.asledraclient/ESCAPED-REST
//   http://[wc]/REST        http://corvane.command/ESCAPED-REST
//   http://[wr;C]HOST/REST  http://HOST-LABELS.C-LABEL.corvane.storedpage/ESCAPED-REST
//   http://[wrs;C]HOST/REST http://HOST-LABELS.C-LABEL.corvane.storedform/ESCAPED-REST
//   any other [kv.., [wc.., [wr.. URL
//                           http://corvane.verbatim/rESCAPED-TEXT
//   file://PROGRAM-FOLDER/P http://corvane.programfolder/ESCAPED-P (one way)
//
// ESCAPED: every byte that is not a URL code point, and "%" and "'", as %XX;
// the first "?" and "#" keep their meaning. Labels: [a-z0-9] as they are,
// any other byte as "-xx", a "-" ending a label joins it to the next one.
// Exact: ToClassicUrl(ToBrowserUrl(u)) == u for every u in those forms
// without control characters, up to the letter case of "http" and of the
// pseudo-host letters (classification folds those anyway).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace engine {

enum class SynonymKind {
  kDatabase,       // [kv]
  kCommand,        // [wc]
  kStoredPage,     // [wr;
  kStoredForm,     // [wrs;
  kVerbatim,       // any pseudo-host URL, escaped whole into the path
  kProgramFolder,  // read-only files of the program folder
  kLegacyReplica,  // "corvane.lookupreplica." followed by a page's host
};

// One synonym host. The table is the one list of corvex's own host names:
// the intake maps them, the output writes them, and the check of a
// request's origin reads them from here.
struct SynonymHost {
  const char* host;  // lower case, as a browser writes it
  SynonymKind kind;
  // The host names that end in "." and `host` (stored pages: one host per
  // stored site) rather than `host` itself; for kLegacyReplica, the host
  // names that begin with `host` and ".".
  bool family;
  // Pages that corvex itself writes. Stored pages are web content from
  // elsewhere served by corvex: a page there is not one of corvex's own.
  bool ownPages;
};

inline constexpr SynonymHost kSynonymHosts[] = {
    {"corvane.asledraclient", SynonymKind::kDatabase, false, true},
    {"corvane.command", SynonymKind::kCommand, false, true},
    {"corvane.verbatim", SynonymKind::kVerbatim, false, true},
    {"corvane.programfolder", SynonymKind::kProgramFolder, false, true},
    {"corvane.storedpage", SynonymKind::kStoredPage, true, false},
    {"corvane.storedform", SynonymKind::kStoredForm, true, false},
    {"corvane.lookupreplica", SynonymKind::kLegacyReplica, true, false},
};

// The root URLs a user can type to get in.
inline constexpr char kDatabaseRootUrl[] = "http://corvane.asledraclient/";
inline constexpr char kCommandRootUrl[] = "http://corvane.command/";
// The program's icon (a browser asks each host for /favicon.ico).
inline constexpr char kProgramIconUrl[] = "http://corvane.programfolder/favicon.ico";

// The synonym that names `host` (any case, a ":port" ignored); null for
// any other host. The bare family names ("corvane.storedpage") are found
// too: they are the roots of their family.
const SynonymHost* FindSynonymHost(std::string_view host);

// Whether the classic URLs are written (the layer off): CORVANE_CLASSIC_URLS=1
// in the environment, or the Configuration item "ClassicURLs" = "Y"
// (SetClassicUrls at start-up). The layer is on by default.
bool ClassicUrls();
void SetClassicUrls(bool classic);

// A browser-valid URL for `classic`, a URL in one of the pseudo-host forms
// or a file:// URL into `program_dir` (an absolute folder). None when the
// text is neither (it is then left as it is).
std::optional<std::string> ToBrowserUrl(std::string_view classic, std::string_view program_dir);
// The same appended to *out; false (nothing appended) when none.
bool AppendBrowserUrl(std::string* out, std::string_view classic, std::string_view program_dir);

// The pseudo-host form of a URL on one of the synonym hosts that map back
// (kDatabase, kCommand, kStoredPage, kStoredForm, kVerbatim); synonym URLs
// inside it (a URL built by a script from the page's own address) are
// written back too. The roots of the stored-page families and a synonym URL
// that cannot be read give "http://[wc]/", the workspace. None for any
// other URL. Escapes of control characters stay escaped, so no CR or LF
// can be smuggled into a request line.
std::optional<std::string> ToClassicUrl(std::string_view browser);

// The path below the program folder that a corvane.programfolder URL names,
// percent-decoded, without query and fragment; none for other URLs.
std::optional<std::string> ProgramFolderPath(std::string_view browser);

}  // namespace engine
