// The settings dialogs.
#include "favourites/settings_dialogs.h"

#include <sys/stat.h>
#include <unistd.h>

#include <map>

#include "common/text.h"
#include "engine/shared_context.h"
#include "favourites/favourite.h"
#include "favourites/favourite_dialog.h"
#include "ledra/vxapi.h"
#include "os/desktop.h"
#include "os/dialog.h"
#include "platform/configuration.h"
#include "platform/database_operation.h"
#include "platform/open_database.h"

namespace favourites {

namespace {

void Notice(engine::SharedContext& shared, std::string_view text) {
  os::MessageBox(shared.mainWindow, text, kMessageTitle, os::Icon::kInformation, os::Buttons::kOk);
}

std::string FirstLine(const std::string& text) { return text.substr(0, text.find_first_of("\r\n")); }

VXHandle ConfigurationHandle(engine::ThreadHandle& handle) {
  platform::OpenDatabase* config =
      platform::OpenDatabaseRecord(handle, platform::kLocalServer, platform::kConfigurationDatabase);
  return config != nullptr ? config->handle : 0;
}

}  // namespace

bool ValidIdFile(const std::string& path) {
  if (path.size() < 4 || !common::StartsWithNoCase(path.substr(path.size() - 3), ".id"))
    return false;
  struct stat info;
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
         ::access(path.c_str(), R_OK) == 0;
}

bool ValidLocalPort(std::string_view entry) {
  if (entry.empty()) return true;
  if (entry.size() > 5 || entry.find_first_not_of("0123456789") != std::string_view::npos)
    return false;
  long port = std::stol(std::string(entry));
  return port > 1024 && port <= 65535;
}

void LinesPerPageDialog(engine::ThreadHandle& handle) {
  engine::SharedContext& shared = *handle.shared;
  std::string value = std::to_string(shared.linesInView);
  std::string text = common::Format(kLinesPerPageFormat, static_cast<int>(shared.linesInView));
  if (!RunEntryDialog(shared.mainWindow, text, &value)) return;
  char* end = nullptr;
  long lines = std::strtol(value.c_str(), &end, 10);
  // A view page of no rows (or a word typed) would leave the views empty.
  if (end != value.c_str() && lines > 0 && lines <= 100000)
    shared.linesInView = static_cast<uint32_t>(lines);
}

void IdFileDialog(engine::ThreadHandle& handle) {
  engine::SharedContext& shared = *handle.shared;
  std::string path;
  (void)platform::RunOnPlatformThread(handle, [&](engine::ThreadHandle& thread) {
    path = FirstLine(platform::EnvironmentValue(platform::kEnvKeyFilename));
    std::map<std::string, std::string> items;
    if (ConfigurationHandle(thread) != 0) (void)platform::ReadConfiguration(ConfigurationHandle(thread), &items);
    return 0;
  });
  Notice(shared, kIdFilePrompt);
  for (;;) {
    std::string chosen = path.substr(0, kIdFilePathLimit);
    if (!os::ChooseOpenFile(shared.mainWindow, kIdFileFilter, kIdFileFilter, &chosen)) {
      Notice(shared, kIdFileNoChange);
      return;
    }
    path = chosen;
    if (ValidIdFile(path)) break;
    Notice(shared, kIdFileInvalid);
  }
  (void)platform::RunOnPlatformThread(handle, [&](engine::ThreadHandle& thread) {
    (void)platform::SetEnvironmentValue(platform::kEnvKeyFilename, path);
    VXHandle config = ConfigurationHandle(thread);
    if (config != 0) (void)platform::WriteConfigurationItem(config, "LedraIDfile", path);
    return 0;
  });
  if (os::MessageBox(shared.mainWindow, kIdFileRestartQuestion, kMessageTitle,
                     os::Icon::kQuestion, os::Buttons::kYesNo) == os::Answer::kYes) {
    shared.restart = 1;
    engine::SetStop(shared, engine::kStopRequested);
  }
}

void LocalPortDialog(engine::ThreadHandle& handle) {
  engine::SharedContext& shared = *handle.shared;
  VXHandle config = ConfigurationHandle(handle);
  std::map<std::string, std::string> items;
  if (config != 0) (void)platform::ReadConfiguration(config, &items);
  std::string value = FirstLine(items["LocalPort"]);
  std::string text = kLocalPortText;
  for (;;) {
    if (!RunEntryDialog(shared.mainWindow, text, &value)) return;
    if (ValidLocalPort(value)) break;
    text = kLocalPortInvalid;
  }
  if (config == 0 || !platform::WriteConfigurationItem(config, "LocalPort", value)) return;
  Notice(shared, kLocalPortRestart);
}

}  // namespace favourites
