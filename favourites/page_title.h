// The title of a web page, fetched to name a new favourite: the page is
// requested (direct or through the upstream proxy, as the pass-through
// chooses) and its <TITLE> read from the first blocks of the reply.
#pragma once

#include <string>
#include <string_view>

#include "engine/thread_handle.h"

namespace favourites {

inline constexpr char kUntitled[] = "(untitled)";
// Longest wait for the server's reply, in all.
inline constexpr int kTitleFetchTimeoutMs = 10000;

// The request sent for `url` (replica context already removed): origin
// form with a Host header when direct, the absolute URL when through a
// proxy. False when the URL names no host.
bool TitleRequest(std::string_view url, bool through_proxy, std::string* host_text,
                  std::string* request);

// The title found in `page` made fit for a favourite's name: line ends,
// commas and semicolons blanked, leading blanks dropped, "(untitled)" when
// there is none or it begins "Error".
std::string TitleOfPage(std::string_view page);

// Fetches the page's title; "(untitled)" when it cannot be had.
std::string PageTitle(engine::ThreadHandle& handle, const std::string& url);

}  // namespace favourites
