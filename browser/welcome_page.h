// The welcome page of a database (http://[kv]/SERVER:/DATABASE:/): its
// views, information links, statistics from the database properties, the
// management links for databases of "Local", its About and Using documents
// and the dashboard. A database with a default navigator form shows the
// navigator instead. Platform thread only.
#pragma once

#include <string>

#include "engine/database_request.h"
#include "engine/thread_handle.h"
#include "ledra/vx_types.h"
#include "platform/open_database.h"

namespace browser {

// Where the welcome page takes what other parts of the browser make.
struct WelcomeParts {
  // The dashboard fragment for a URL; empty: no fragment.
  std::string (*dashboard)(engine::ThreadHandle& handle, const std::string& url) = nullptr;
};
WelcomeParts& Welcome();

// The words of a rich-text item, escaped, each line ended by "<br>\n"
// (the About and Using documents when their records cannot be rendered).
void RichTextAsPlainText(engine::ThreadHandle& handle, platform::OpenDatabase& database,
                         VXHandle document, const std::string& item, std::string* out);

// The handler; 0 (1 when the navigator page answered).
int DatabaseWelcome(const std::string& reply_path, engine::DatabaseRequest& request,
                    engine::ThreadHandle& handle);

}  // namespace browser
