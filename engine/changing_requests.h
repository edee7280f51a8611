// Which requests change data or the program: the tables that the
// cross-site check (engine/request_origin.h) consults. A request listed
// here is carried out only when it comes from one of corvex's own pages.
//
// [kv] requests: every method but GET (submissions are POSTs), and the GET
// commands below, by their first letter and their argument 2:
//
//   command  argument 2          what it does
//   V        C... (Cd ...)       categorise the selected documents
//   V        D... (DX, DE, Dd)   delete the selected or marked documents, or
//                                mark documents for deletion
//   V        vX, vC, vP          cut, copy (empties the clipboard), paste
//   V        XL                  the lines-per-page dialog (a setting)
//   V        FS                  search; may build or update the full-text
//                                index
//   ?        any                 full-text index, compact, delete the database
//   A        ap, dp (any case)   attach a file; detach or delete an attachment
//
// Every other GET only reads (catalogues, welcome pages, view pages and the
// view sub-commands that page, select, expand or toggle a frame, document
// pages, attachment contents, navigators).
//
// [wc] commands: the letters that act on the program or the desktop:
// "1" restart, "7" and "M" a message box, "A" the ID-file dialog, "B" the
// preferred-browser dialog, "F" the favourite dialog, "N" the on-line or
// off-line switch, "S" storing the page as a favourite. "D" (the dashboard
// frame) and the workspace only read.
//
// [wr;...] requests: a form submitted from a stored page (a POST, or
// "wrs;"), which offers to store the result as a favourite.
//
// A handler added later that changes something must be a POST or appear in
// these tables.
#pragma once

#include <string_view>

#include "engine/database_request.h"

namespace engine {

// What a table entry compares argument 2 with.
enum class SubcommandMatch { kAny, kPrefix, kExact, kExactAnyCase };

struct ChangingKvCommand {
  char command;            // the command's first letter, as the dispatcher reads it
  const char* subcommand;  // argument 2 (unused with kAny)
  SubcommandMatch match;
  const char* what;  // for the trace
};

inline constexpr ChangingKvCommand kChangingKvCommands[] = {
    {'V', "C", SubcommandMatch::kPrefix, "categorising documents"},
    {'V', "D", SubcommandMatch::kPrefix, "deleting documents or marking them for deletion"},
    {'V', "vX", SubcommandMatch::kExact, "cutting documents to the clipboard"},
    {'V', "vC", SubcommandMatch::kExact, "copying documents to the clipboard"},
    {'V', "vP", SubcommandMatch::kExact, "pasting documents"},
    {'V', "XL", SubcommandMatch::kExact, "changing the page length"},
    {'V', "FS", SubcommandMatch::kExact, "a search that may build the full-text index"},
    {'?', "", SubcommandMatch::kAny, "database maintenance"},
    {'A', "ap", SubcommandMatch::kExactAnyCase, "attaching a file"},
    {'A', "dp", SubcommandMatch::kExactAnyCase, "detaching or deleting an attachment"},
};

inline constexpr char kActingCommandLetters[] = "17ABFMNS";
inline constexpr char kCommandChange[] = "a command to the program";
inline constexpr char kStoredFormChange[] = "a form submitted from a stored page";
inline constexpr char kSubmissionChange[] = "a form submission";

// What the [kv] request changes ("a form submission" for every method but
// GET, else the table's words), or null when it only reads.
const char* KvRequestChange(const DatabaseRequest& request);
inline bool KvRequestChanges(const DatabaseRequest& request) {
  return KvRequestChange(request) != nullptr;
}

// The letter of a [wc] request ("http://[wc]/X..." in its request line),
// '\0' when the request line names none.
char CommandLetter(std::string_view raw_request);
// Whether the [wc] request's letter acts.
bool CommandRequestActs(std::string_view raw_request);

// Whether a [wr;...] request submits a form from a stored page.
bool ReplicaRequestSubmits(std::string_view method, int submit);

}  // namespace engine
