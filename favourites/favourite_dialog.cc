// The favourite dialogs.
#include "favourites/favourite_dialog.h"

#include <cstdlib>

namespace favourites {

namespace {

constexpr int kUnitGroup = 1;
constexpr int kChoiceGroup = 2;

void EnableLevels(os::Dialog& d, bool on) { d.SetEnabled(kIdLevels, on); }

void EnableFrequency(os::Dialog& d, bool on) {
  for (int id : {kIdFrequency, kIdMinutes, kIdHours, kIdDays}) d.SetEnabled(id, on);
}

// The rules of dialogs 146 and 148: the levels edit follows the include
// box, the frequency controls follow the keep box; ticking a box proposes
// 1 (link level, day), unticking puts 0 back.
void FavouriteRule(os::Dialog& d, int id) {
  switch (id) {
    case 0:
      EnableLevels(d, d.Checked(kIdInclude));
      EnableFrequency(d, d.Checked(kIdKeep));
      if (!d.Checked(kIdKeep)) d.SetChecked(kIdDays, true);
      break;
    case kIdInclude:
      d.SetText(kIdLevels, d.Checked(kIdInclude) ? "1" : "0");
      EnableLevels(d, d.Checked(kIdInclude));
      break;
    case kIdKeep:
      if (d.Checked(kIdKeep)) {
        EnableFrequency(d, true);
        d.SetChecked(kIdDays, true);
        d.SetText(kIdFrequency, "1");
      } else {
        EnableFrequency(d, false);
        d.SetText(kIdFrequency, "0");
      }
      break;
    default:
      break;
  }
}

int UnitId(FrequencyUnit unit) {
  switch (unit) {
    case FrequencyUnit::kMinutes:
      return kIdMinutes;
    case FrequencyUnit::kHours:
      return kIdHours;
    case FrequencyUnit::kDays:
      break;
  }
  return kIdDays;
}

}  // namespace

os::Dialog MakeFavouriteDialog(bool stored, const FavouriteValues& values) {
  os::Dialog d(stored ? kEditScheduleDialog : kAddFavouriteDialog,
               stored ? kEditScheduleCaption : kAddFavouriteCaption);
  d.AddStatic("Name:");
  d.AddEdit(kIdName, "", values.title, kTitleLimit);
  d.AddStatic(stored ? kEditScheduleText : kAddFavouriteText);
  d.AddCheckBox(kIdInclude, "Include pages that are ", values.include);
  d.AddEdit(kIdLevels, "", values.levels, kNumberLimit);
  d.AddStatic("links away");
  d.AddCheckBox(kIdReplicate, "Replicate the page(s) for offline use", values.replicate);
  d.AddCheckBox(kIdKeep, "Keep a schedule to check for updates every", values.keep);
  d.AddEdit(kIdFrequency, "", values.frequency, kNumberLimit);
  d.AddRadio(kIdMinutes, "minutes", kUnitGroup);
  d.AddRadio(kIdHours, "hours", kUnitGroup);
  d.AddRadio(kIdDays, "days", kUnitGroup);
  d.SetChecked(UnitId(values.unit), true);
  d.AddButton(os::kIdOk, "OK", true);
  d.AddButton(os::kIdCancel, "Cancel");
  d.AddButton(kIdAdvanced, "Advanced...");
  d.SetRule(FavouriteRule);
  return d;
}

FavouriteResult RunFavouriteDialog(const os::Window* owner, bool stored, FavouriteValues* values) {
  os::Dialog d = MakeFavouriteDialog(stored, *values);
  int button = os::RunDialog(owner, d);
  if (button != os::kIdOk && button != kIdAdvanced) return FavouriteResult::kCancel;
  values->title = d.Text(kIdName);
  values->frequency = d.Text(kIdFrequency);
  values->levels = d.Text(kIdLevels);
  switch (d.SelectedRadio(kUnitGroup)) {
    case kIdMinutes:
      values->unit = FrequencyUnit::kMinutes;
      break;
    case kIdHours:
      values->unit = FrequencyUnit::kHours;
      break;
    default:
      values->unit = FrequencyUnit::kDays;
      break;
  }
  values->include = d.Checked(kIdInclude) && std::atoi(values->levels.c_str()) > 0;
  values->keep = d.Checked(kIdKeep);
  values->replicate = d.Checked(kIdReplicate);
  return button == os::kIdOk ? FavouriteResult::kOk : FavouriteResult::kAdvanced;
}

os::Dialog MakeEditFavouriteDialog() {
  os::Dialog d(kEditFavouriteDialog, kEditFavouriteCaption);
  d.AddRadio(kIdEditComments, "Edit comments and options", kChoiceGroup, true);
  d.AddRadio(kIdEditSchedule, "Edit replication settings and schedule", kChoiceGroup);
  d.AddRadio(kIdRunNow, "Run schedule now", kChoiceGroup);
  d.AddButton(os::kIdOk, "OK", true);
  d.AddButton(os::kIdCancel, "Cancel");
  return d;
}

int RunEditFavouriteDialog(const os::Window* owner) {
  os::Dialog d = MakeEditFavouriteDialog();
  if (os::RunDialog(owner, d) != os::kIdOk) return 0;
  return d.SelectedRadio(kChoiceGroup);
}

bool RunEntryDialog(const os::Window* owner, const std::string& instructions, std::string* value) {
  os::Dialog d(kEntryDialog, kEntryCaption);
  d.AddStatic(instructions, kIdInstructions);
  d.AddEdit(kIdEntry, "", *value);
  d.AddButton(os::kIdOk, "OK", true);
  d.AddButton(os::kIdCancel, "Cancel");
  if (os::RunDialog(owner, d) != os::kIdOk) return false;
  *value = d.Text(kIdEntry);
  return true;
}

}  // namespace favourites
