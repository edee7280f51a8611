// The dashboard: the strip of Favourite controls that corvex adds to every
// HTML page it shows, live or stored (database operation 35), and the
// dashboard frame of the command URLs http://[wc]/D/D/URL (the strip alone,
// in a frame whose links target the parent frameset) and
// http://[wc]/D/F/URL (that frameset) (database operation 30).
//
// The strip is expanded from one of three templates of htmdata/:
//   tag.pro      a page that is not a Favourite: offers to make it one
//   tagedit.pro  a live page that is a Favourite: its schedule, stored copy
//                and comments
//   tagoff.pro   a stored copy of a Favourite: the live page, comments
// with an action context holding the page-replica database, the element's
// note id ($WCTX_DocID), the page's URL ($WCTX_SelfURL), its key, the URL
// without "http://" ($WCTX_GeneralArg1), and the target frame
// ($WCTX_DocBodyWin). URL and key are HTML-escaped.
//
// A strip inside a live page sits in a page that corvex did not write: a
// command that acts (engine/changing_requests.h) is refused when that page
// is its Referer, and the page's own scripts could follow any link in the
// strip. So there the acting links lead to the dashboard frameset of the
// page instead, whose dashboard frame (our own page) carries them out.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/thread_handle.h"

namespace proxy {

inline constexpr char kTemplateNotFavourite[] = "htmdata/tag.pro";
inline constexpr char kTemplateStoredFavourite[] = "htmdata/tagoff.pro";
inline constexpr char kTemplateLiveFavourite[] = "htmdata/tagedit.pro";
inline constexpr char kTemplateFrameset[] = "htmdata/dshfnorm.pro";
inline constexpr char kDefaultTarget[] = "_self";
inline constexpr char kFrameTarget[] = "_parent";
inline constexpr char kDashboardFrameFormat[] = "<html>\n%s";

// The fragment for `url` (may be null) and `target` (null: "_self"); empty
// while the dashboard is hidden. Platform thread only.
std::string DashboardFragment(engine::ThreadHandle& handle, const char* url, const char* target);

// Operation 35 from any thread: words url (const char*, may be 0), target
// (const char*, may be 0), std::string* out; gives 1. Empty text when the
// operation fails.
std::string DashboardFor(engine::ThreadHandle& handle, const std::string& url,
                         const char* target = nullptr);

// The dashboard frame for the argument of command "D": "D/URL" the strip for
// URL in a page of its own, "F/URL" the frameset. Writes the reply file and
// gives 0; -1 (nothing written) for any other argument. Platform thread.
int32_t DashboardFrame(engine::ThreadHandle& handle, const std::string& argument,
                       const std::string& reply_path);

// `strip` with the href of every link to an acting command
// ("http://[wc]/L..." with L one of engine::kActingCommandLetters) replaced
// by `replacement` (written as given).
std::string RouteActingLinks(std::string_view strip, std::string_view replacement);

// Installs operations 30 and 35.
void InstallDashboardOperations();

}  // namespace proxy
