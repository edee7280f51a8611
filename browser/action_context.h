// The action context: what the template expander knows while it expands
// one template (an action bar, a command panel, a row text).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "engine/database_request.h"
#include "engine/thread_handle.h"
#include "ledra/vx_types.h"
#include "platform/open_database.h"

namespace browser {

struct ActionContext {
  engine::SharedContext* shared = nullptr;
  platform::OpenDatabase* database = nullptr;  // or none
  platform::ViewRecord* view = nullptr;        // or none
  engine::DatabaseRequest* request = nullptr;  // or none
  VXNoteId formId = 0;
  VXNoteId documentId = 0;
  int32_t navigatorForm = 0;
  int32_t spareWord = 0;                    // not read by the expander
  std::optional<std::string> positionText;  // ViewFolderLocale
  std::optional<std::string> frameName;     // ViewBodyWin
  std::optional<std::string> targetName;    // DocBodyWin
  std::optional<std::string> selfUrl;       // replaces the request's URL in SelfURL
  std::optional<std::string> generalText;   // GeneralArg1
  engine::ThreadHandle* handle = nullptr;
};

// The arguments in the order the callers pass them.
ActionContext MakeActionContext(engine::ThreadHandle& handle, platform::OpenDatabase* database,
                                platform::ViewRecord* view, engine::DatabaseRequest* request,
                                VXNoteId form_id, VXNoteId document_id, int32_t navigator_form,
                                int32_t spare_word, std::optional<std::string> general_text,
                                std::optional<std::string> self_url,
                                std::optional<std::string> position_text,
                                std::optional<std::string> frame_name,
                                std::optional<std::string> target_name);

}  // namespace browser
