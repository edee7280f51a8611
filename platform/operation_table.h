// The operation table of the database operation channel: the functions of
// codes 1 to 12 and 21 to 35 that run on the platform thread. Codes that
// belong to later layers give -1 until those layers install theirs with
// SetDatabaseOperation: 11 (the [kv] commands) keeps the channel's interim
// error page; 21 and 23 (stored pages), 28 to 32 (favourite pages, dialogs
// and due schedules), 34 (template expansion) and 35 (dashboard text).
//
// Words of the access layer's own codes:
//   1  database handle, view id, [ViewRecord** out]     -> 1 found, 0 none
//   2  server, path (const char*), [OpenDatabase** out]  -> database handle, 0 none
//   3  database handle, VXHandle* out index              -> status
//   4  index, formula, two words                         -> status
//   5  index, direction, mode, out id, out position      -> status
//   6  database handle, note id, flags, VXHandle* out    -> status
//   7  VXItemFetch's six arguments                       -> status
//   8  VXItemPut's seven arguments                       -> status
//   9  name, value, flag                                 -> status
//  10  name, buffer size, buffer                         -> status
//  12  VXIndexKeySearch's five arguments                 -> status
//  22  nothing                                           -> 0
//  24  document, flags                                   -> status
//  25  database handle, name, [ViewRecord** out]         -> 1 found, 0 none
//  26  index                                             -> status
//  27  index                                             -> status
// A status is the platform's 32-bit status as a signed number; the index
// codes (3, 4, 5, 12, 26, 27) give -1 while the platform has no views.
#pragma once

#include "engine/thread_handle.h"

namespace platform {

// Installs the table's functions, and the platform thread's start (open
// the configuration database) and end (close all databases, end the use of
// the platform) in the engine's hooks. Call before worker 'f' starts.
void InstallAccessLayer();

// The platform thread's start and end, for tests that run them directly.
void PlatformThreadStart(engine::ThreadHandle& handle);
void PlatformThreadEnd(engine::ThreadHandle& handle);

}  // namespace platform
