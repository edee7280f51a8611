// The favourites' operations and dialogs in the engine's hooks, the
// operation table and the database browser's view commands. corvex links
// this library whole, so they are installed before main.
#include "browser/view_command.h"
#include "engine/hooks.h"
#include "favourites/favourite.h"
#include "favourites/settings_dialogs.h"

namespace favourites {

namespace {

struct Installer {
  Installer() {
    InstallFavouriteOperations();
    engine::Hooks().idFileDialog = IdFileDialog;
    browser::Operations().linesPerPageDialog = LinesPerPageDialog;
  }
} installer;

}  // namespace

}  // namespace favourites
