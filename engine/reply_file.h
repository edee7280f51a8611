// Reply files: every generated reply is written into a file in wtemp first
// and then sent. Names are the folder, an optional prefix and a number from
// one process-wide counter (3, 4, ... 999, 2, 3, ...); a number whose file
// exists is skipped. The name is drawn and the file created under one lock,
// with exclusive creation, so two threads never get the same name.
#pragma once

#include <cstdio>
#include <optional>
#include <string>

#include "engine/request_entry.h"
#include "engine/thread_handle.h"

namespace engine {

// A new reply file name, its file created empty. An empty `folder` means the
// working folder followed by "/wtemp/"; another folder is followed by "/".
// None when folder and prefix together are not 1 to 2011 characters long or
// the file cannot be created.
std::optional<std::string> NewReplyFileName(const std::string& folder = "",
                                            const std::string& prefix = "");

// Sets the counter, so that the next name drawn is `value` + 1 (tests).
void SetReplyFileCounter(int value);

// Sends the open file from its start in 4096-byte pieces, until a read gives
// nothing or a send fails.
void SendReplyFile(std::FILE* file, os::Socket socket);

// The end of an answer from a reply file: opens the file "rb", sends it,
// closes and deletes it, then shuts the connection down, closes it and
// marks the entry done. A file that cannot be opened is not sent.
void AnswerFromReplyFile(SharedContext& shared, RequestEntry& entry, const std::string& name);

// Writes `text` into a new reply file and answers with it.
void AnswerWithText(SharedContext& shared, RequestEntry& entry, std::string_view text);

}  // namespace engine
