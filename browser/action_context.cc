// The action context.
#include "browser/action_context.h"

namespace browser {

ActionContext MakeActionContext(engine::ThreadHandle& handle, platform::OpenDatabase* database,
                                platform::ViewRecord* view, engine::DatabaseRequest* request,
                                VXNoteId form_id, VXNoteId document_id, int32_t navigator_form,
                                int32_t spare_word, std::optional<std::string> general_text,
                                std::optional<std::string> self_url,
                                std::optional<std::string> position_text,
                                std::optional<std::string> frame_name,
                                std::optional<std::string> target_name) {
  ActionContext context;
  context.shared = handle.shared;
  context.database = database;
  context.view = view;
  context.request = request;
  context.formId = form_id;
  context.documentId = document_id;
  context.navigatorForm = navigator_form;
  context.spareWord = spare_word;
  context.generalText = std::move(general_text);
  context.selfUrl = std::move(self_url);
  context.positionText = std::move(position_text);
  context.frameName = std::move(frame_name);
  context.targetName = std::move(target_name);
  context.handle = &handle;
  return context;
}

}  // namespace browser
