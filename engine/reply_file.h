// Reply files: every generated reply is written into a file in wtemp first
// and then sent. Names are the folder, an optional prefix and a number from
// one process-wide counter (3, 4, ... 999, 2, 3, ...); a number whose file
// exists is skipped, and so is a number drawn for a request that has not
// finished with it. Names are drawn under one lock, so two threads never
// get the same name.
//
// A request thread draws its name without creating the file: the writer
// creates it. A writer that opened an existing empty file would truncate
// it, and the file system then writes the file out to disk when it is
// closed, moments before the file is deleted.
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "engine/request_entry.h"
#include "engine/thread_handle.h"

namespace engine {

// A new reply file name, its file created empty. An empty `folder` means the
// working folder followed by "/wtemp/"; another folder is followed by "/".
// None when folder and prefix together are not 1 to 2011 characters long or
// the file cannot be created.
std::optional<std::string> NewReplyFileName(const std::string& folder = "",
                                            const std::string& prefix = "");

// A reply file name in the working folder's wtemp/ for a request thread:
// drawn like NewReplyFileName, but the file is not created. The name stays
// taken until AnswerFromReplyFile (or ReleaseReplyFileName) gives it back.
// None when wtemp/ does not exist.
std::optional<std::string> DrawReplyFileName();
// Deletes the file of a drawn name, if there is one, and gives the name
// back.
void ReleaseReplyFileName(const std::string& name);

// Sets the counter, so that the next name drawn is `value` + 1 (tests).
void SetReplyFileCounter(int value);

// Sends the open file from its start in 4096-byte pieces, until a read gives
// nothing or a send fails.
void SendReplyFile(std::FILE* file, os::Socket socket);

// The one place where a finished reply leaves corvex: sends the bytes on
// the entry's connection, until they are all sent or the send fails.
void SendReply(SharedContext& shared, RequestEntry& entry, std::string_view reply);

// The end of an answer from a reply file: reads the file whole, deletes it
// (giving a drawn name back), sends the reply (SendReply), then shuts the
// connection down, closes it and marks the entry done. A file that cannot
// be opened is not sent.
void AnswerFromReplyFile(SharedContext& shared, RequestEntry& entry, const std::string& name);

// Writes `text` into a new reply file and answers with it.
void AnswerWithText(SharedContext& shared, RequestEntry& entry, std::string_view text);

}  // namespace engine
