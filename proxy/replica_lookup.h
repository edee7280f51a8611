// Finding a stored web element in a page-replica database: the key view
// ("Web Element Replicas by Key", sorted by the element's URL without
// "http://"), refreshed and searched for the key. Platform thread only.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/thread_handle.h"
#include "ledra/vx_types.h"
#include "platform/open_database.h"

namespace proxy {

struct ElementMatch {
  uint32_t count = 0;  // documents found for the key
  VXNoteId note = 0;   // the first of them; 0 when none
};

// Searches the key view of `database` for `key`. False when the database has
// no key view (nothing is found then).
bool FindElement(engine::ThreadHandle& handle, platform::OpenDatabase& database,
                 const std::string& key, ElementMatch* match);

// The key of a page's URL: for a stored-page URL ("http://[wr...]KEY") the
// text after the first "]", else the URL from its eighth character on (after
// "http://"); "" when the URL is too short.
std::string KeyOfUrl(std::string_view url);

// Whether `url` names a stored page: it begins "http://[wr" (any case).
bool IsStoredPageUrl(std::string_view url);

}  // namespace proxy
