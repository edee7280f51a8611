// The one-line status file htmdata/wbstatus.dat, overwritten by corvex and
// by the background job task to show what is going on.
#pragma once

#include <string>
#include <string_view>

namespace common {

inline constexpr char kStatusFile[] = "htmdata/wbstatus.dat";

// Overwrites `folder`/htmdata/wbstatus.dat (the working folder when `folder`
// is empty) with `text`, every line feed turned into a blank. False when the
// file cannot be written.
[[nodiscard]] bool WriteStatusLine(std::string_view text, const std::string& folder = "");

}  // namespace common
