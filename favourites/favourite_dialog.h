// The favourite dialogs as descriptions: Add Favorite (146) and Edit
// Replication Schedule (148), which share their controls and behaviour, Edit
// Favorite (107) with its three choices, and the one-line entry dialog
// (138) of the settings. The desktop shows them; these functions build them,
// run them and read their values back.
#pragma once

#include <string>

#include "os/dialog.h"

namespace favourites {

inline constexpr int kAddFavouriteDialog = 146;
inline constexpr int kEditScheduleDialog = 148;
inline constexpr int kEditFavouriteDialog = 107;
inline constexpr int kEntryDialog = 138;

inline constexpr char kAddFavouriteCaption[] = "Pellam Corvane: Add Favorite";
inline constexpr char kEditScheduleCaption[] = "Pellam Corvane: Edit Replication Schedule";
inline constexpr char kEditFavouriteCaption[] = "Pellam Corvane: Edit Favorite";
inline constexpr char kEntryCaption[] = "Pellam Corvane";
inline constexpr char kAddFavouriteText[] =
    "This Favorite will be added to your workspace.  You may also";
inline constexpr char kEditScheduleText[] = "You may change these options for this Favorite.";

// Control ids of dialogs 146 and 148.
inline constexpr int kIdName = 1037;
inline constexpr int kIdInclude = 1019;
inline constexpr int kIdLevels = 1016;
inline constexpr int kIdReplicate = 1013;
inline constexpr int kIdKeep = 1017;
inline constexpr int kIdFrequency = 1015;
inline constexpr int kIdMinutes = 1002;
inline constexpr int kIdHours = 1003;
inline constexpr int kIdDays = 1004;
inline constexpr int kIdAdvanced = 3;
// Dialog 107.
inline constexpr int kIdEditComments = 1029;
inline constexpr int kIdEditSchedule = 1005;
inline constexpr int kIdRunNow = 1026;
// Dialog 138.
inline constexpr int kIdInstructions = 1006;
inline constexpr int kIdEntry = 1000;

// The edits hold what the dialog's buffers hold: a title of up to 1024
// bytes and numbers of up to 8, each with its terminating 0.
inline constexpr size_t kTitleLimit = 1023;
inline constexpr size_t kNumberLimit = 7;

enum class FrequencyUnit { kMinutes = 1, kHours = 2, kDays = 3 };

// The values the favourite dialog shows and gives back.
struct FavouriteValues {
  std::string title;
  std::string frequency = "0";
  std::string levels = "0";
  FrequencyUnit unit = FrequencyUnit::kDays;
  bool include = false;
  bool keep = false;
  bool replicate = true;
};

// How the favourite dialog ended.
enum class FavouriteResult { kCancel = 0, kOk = 1, kAdvanced = 2 };

// Dialog 146 (or 148 with `stored`) filled from `values`, with its rules.
os::Dialog MakeFavouriteDialog(bool stored, const FavouriteValues& values);
// Shows it; on OK or "Advanced..." *values gets what the dialog holds.
FavouriteResult RunFavouriteDialog(const os::Window* owner, bool stored, FavouriteValues* values);

// Dialog 107: the id of the choice (kIdEditComments, kIdEditSchedule,
// kIdRunNow) on OK, 0 on Cancel.
os::Dialog MakeEditFavouriteDialog();
int RunEditFavouriteDialog(const os::Window* owner);

// Dialog 138 with `instructions` and `value` in its edit: true on OK with
// the text typed in *value.
bool RunEntryDialog(const os::Window* owner, const std::string& instructions, std::string* value);

}  // namespace favourites
