// The Configuration document and the environment strings.
#include "platform/configuration.h"

#include <strings.h>

#include <vector>

#include "platform/translate.h"
#include "platform/view_calls.h"

namespace platform {

namespace {

struct Default {
  const char* name;
  const char* value;
};
constexpr Default kDefaults[] = {
    {kEnvLastWebDatabase, "Replicas.Web/kvwebrs.ldf"},
    {kEnvLastWebServer, "Local"},
    {kEnvReplicatorsAllowed, "3"},
    {kEnvNetworkTimeout, "120"},
    {kEnvLinesInView, "30"},
};

constexpr const char* kConfigurationItems[] = {
    "LocalPort",        "DisableUnderline", "StartupURL",  "HTTPProxy",
    "ProxyOverrides",   "PreferredBrowser", "DashboardStyle", "LedraIDfile",
    "ProxyLogin",       "Password",         "ResultsCategory",
};

}  // namespace

std::string EnvironmentDefault(const std::string& name) {
  for (const Default& d : kDefaults)
    if (strcasecmp(d.name, name.c_str()) == 0) return d.value;
  return "";
}

std::string EnvironmentValue(const std::string& name) {
  std::vector<char> buffer(kEnvironmentBufferSize, '\0');
  if (wrap::VXGetEnvironmentString(name.c_str(), buffer.data(), kEnvironmentBufferSize) != kVXOk ||
      buffer[0] == '\0') {
    return EnvironmentDefault(name);
  }
  return buffer.data();
}

bool SetEnvironmentValue(const std::string& name, const std::string& value) {
  return wrap::VXSetEnvironmentString(name.c_str(), value.c_str(), 1) == kVXOk;
}

VXNoteId FindConfigurationDocument(VXHandle configuration) {
  std::vector<VXNoteId> ids;
  if (FindDocuments(configuration, kConfigurationForm, &ids) != kVXOk || ids.empty()) return 0;
  return ids.front();
}

bool ReadConfiguration(VXHandle configuration, std::map<std::string, std::string>* items) {
  VXNoteId id = FindConfigurationDocument(configuration);
  VXHandle document = 0;
  if (id == 0 || VXDocumentOpen(configuration, id, 0, &document) != kVXOk) return false;
  for (const char* item : kConfigurationItems) {
    std::vector<char> value(kEnvironmentBufferSize, '\0');
    uint32_t length = 0;
    if (wrap::VXItemFetch(document, item, kVXTypeText, value.data(), kEnvironmentBufferSize,
                          &length) == kVXOk) {
      (*items)[item] = std::string(value.data(), length);
    }
  }
  VXDocumentClose(document, kVXCloseDiscard);
  return true;
}

bool WriteConfigurationItem(VXHandle configuration, const std::string& item, const std::string& value) {
  VXNoteId id = FindConfigurationDocument(configuration);
  VXHandle document = 0;
  if (id == 0 || VXDocumentOpen(configuration, id, 0, &document) != kVXOk) return false;
  bool saved = wrap::VXItemPut(document, item.c_str(), kVXItemSummary, 0, kVXTypeText, value.c_str(),
                               0) == kVXOk &&
               VXDocumentSave(document, 0) == kVXOk;
  VXDocumentClose(document, saved ? 0 : kVXCloseDiscard);
  return saved;
}

}  // namespace platform
