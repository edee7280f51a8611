// Crawl settings.
#include "jobs/crawl_settings.h"

#include <cstdlib>

#include "common/page_replica_format.h"
#include "common/text.h"
#include "jobs/documents.h"

namespace jobs {

namespace {

long Number(VXHandle document, const char* name) {
  return std::strtol(TextItem(document, name).c_str(), nullptr, 10);
}

char Letter(VXHandle document, const char* name, size_t max_bytes = 4) {
  std::string text = TextItem(document, name, max_bytes);
  return text.empty() ? 0 : text[0];
}

bool EndsWithNoCase(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() &&
         common::StartsWithNoCase(text.substr(text.size() - suffix.size()), suffix);
}

}  // namespace

void ReadCrawlSettings(VXHandle schedule, CrawlSettings* s) {
  s->starting_url = TextItem(schedule, "StartingURL");
  s->offline_form_method = Letter(schedule, "OfflineFormMethod", 8);
  if (s->offline_form_method != 'P' && s->offline_form_method != 'G') s->offline_form_method = 0;
  s->cutoff_size = Number(schedule, "CutOffSize");
  if (s->cutoff_size < 0) s->cutoff_size = 0;
  s->max_db_size = Number(schedule, "MaxDBSize");
  if (s->max_db_size <= 0) s->max_db_size = 900;
  s->max_run_time = Number(schedule, "MaxRunTime");
  s->digging_mode = Letter(schedule, "DiggingMode", 80);
  long levels = Number(schedule, "CutOffLevels");
  s->cutoff_levels = levels < 0 || levels > 200 ? 0 : static_cast<int>(levels);
  s->user_name = TextItem(schedule, "UserName", 4090);
  s->password = TextItem(schedule, "Password", 4090);
  s->when = TextItem(schedule, "When");
  s->fidelity_text = TextItem(schedule, "Fidelity", 79);
  s->fidelity = s->fidelity_text.empty() ? 0 : s->fidelity_text[0];
  s->search_text = TextItem(schedule, "SearchText", 255);
  s->bounding_urls = TextItem(schedule, "BoundingURLs", 4095);
  s->preprocessor = TextItem(schedule, "PreProcessor", 255);
  s->compact = Letter(schedule, "Compact");
  s->auto_fulltext = Letter(schedule, "AutoFullTextIndex");
  s->quiet = Letter(schedule, "QuietMode");
  s->show_dialog = Letter(schedule, "ShowDialog");
  if (s->show_dialog == 'Y') s->override_text = TextItem(schedule, "OverrideText");
  s->preprocessor_r = TextItem(schedule, "PreProcessor_R");
  s->postprocessor_t = TextItem(schedule, "PostProcessor_T");
  s->postprocessor_f = TextItem(schedule, "PostProcessor_F");
  s->postprocessor_r = TextItem(schedule, "PostProcessor_R");
  s->compression = common::StartsWithNoCase(TextItem(schedule, "Compression", 3), "On");
  s->repository = TextItem(schedule, "Repository", 4095);
  s->encryption = EncryptionLevel(TextItem(schedule, "Encryption"));
  s->title = TextItem(schedule, "Title", 255);
}

void ParseRepository(const std::string& repository, std::string* title, std::string* server,
                     std::string* path) {
  title->clear();
  server->clear();
  path->clear();
  size_t brace = repository.find('{');
  if (brace != std::string::npos) {
    *title = repository.substr(0, brace);
    size_t semicolon = repository.find(';', brace);
    if (semicolon != std::string::npos) {
      *server = repository.substr(brace + 1, semicolon - brace - 1);
      *path = repository.substr(semicolon + 1);
      *path = path->substr(0, path->find('}'));
    }
  }
  if (server->empty() || path->empty()) {
    *server = common::kPageReplicaServer;
    *path = common::kPageReplicaPath;
    *title = common::kPageReplicaTitle;
  }
}

uint32_t EncryptionLevel(std::string_view text) {
  if (common::StartsWithNoCase(text, "simple") || common::StartsWithNoCase(text, "2"))
    return 0x1000000;
  if (common::StartsWithNoCase(text, "medium") || common::StartsWithNoCase(text, "3"))
    return 0x2000000;
  if (common::StartsWithNoCase(text, "strong") || common::StartsWithNoCase(text, "4"))
    return 0x3000000;
  return 0;
}

bool FidelityPasses(char letter, std::string_view type) {
  switch (letter) {
    case 'H':
      return true;
    case 'N':
      return !common::StartsWithNoCase(type, "application/x-java-class");
    case 'M':
      return common::StartsWithNoCase(type, "image") || common::StartsWithNoCase(type, "text");
    case 'L':
      return common::StartsWithNoCase(type, "text");
    default:
      return false;
  }
}

bool SkippedImageUrl(char letter, std::string_view url) {
  return (letter == 'S' || letter == 'L') &&
         (EndsWithNoCase(url, ".gif") || EndsWithNoCase(url, ".jpg"));
}

}  // namespace jobs
