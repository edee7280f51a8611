// Dialog descriptions filled from the answer script, with behaviour rules.
#include "os/dialog.h"

#include <stdlib.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "os/desktop.h"

namespace {

class DialogScript : public ::testing::Test {
 protected:
  void Script(const std::string& lines) {
    path_ = ::testing::TempDir() + "dialog-answers-" + std::to_string(getpid()) + ".txt";
    std::FILE* f = std::fopen(path_.c_str(), "w");
    std::fputs(lines.c_str(), f);
    std::fclose(f);
    setenv("CORVANE_ANSWERS", path_.c_str(), 1);
    os::ResetAnswerScript();
  }
  void TearDown() override {
    unsetenv("CORVANE_ANSWERS");
    os::ResetAnswerScript();
    std::remove(path_.c_str());
  }
  std::string path_;
};

// A dialog shaped like "Add Favorite": ticking a box fills and enables its
// edit, unticking empties and disables it.
os::Dialog FavouriteLike() {
  os::Dialog d(146, "Pellam Corvane: Add Favorite");
  d.AddStatic("Name:");
  d.AddEdit(1037, "", "(untitled)", 16);
  d.AddCheckBox(1019, "Include pages that are ");
  d.AddEdit(1016, "", "0", 8);
  d.AddCheckBox(1017, "Keep a schedule to check for updates every");
  d.AddEdit(1015, "", "0", 8);
  d.AddRadio(1002, "minutes", 1);
  d.AddRadio(1003, "hours", 1);
  d.AddRadio(1004, "days", 1, true);
  d.AddButton(1, "OK", true);
  d.AddButton(2, "Cancel");
  d.AddButton(3, "Advanced...");
  d.SetRule([](os::Dialog& dialog, int id) {
    if (id == 0 || id == 1019) {
      dialog.SetEnabled(1016, dialog.Checked(1019));
      if (id == 1019) dialog.SetText(1016, dialog.Checked(1019) ? "1" : "0");
    }
    if (id == 0 || id == 1017) {
      bool keep = dialog.Checked(1017);
      for (int c : {1015, 1002, 1003, 1004}) dialog.SetEnabled(c, keep);
      if (id == 1017) dialog.SetText(1015, keep ? "1" : "0");
    }
  });
  return d;
}

TEST_F(DialogScript, PiecesApplyInOrderThroughTheRules) {
  Script("dialog: Name=Local news \\; weather; 1019=on; 1017=yes; hours; Advanced...\n");
  os::Dialog d = FavouriteLike();
  EXPECT_EQ(os::RunDialog(nullptr, d), 3);
  EXPECT_EQ(d.result, 3);
  EXPECT_EQ(d.Text(1037), "Local news ; wea");  // cut to the edit's 16 bytes
  EXPECT_EQ(d.Text(1016), "1");                 // put there by ticking the box
  EXPECT_EQ(d.Text(1015), "1");
  EXPECT_EQ(d.SelectedRadio(1), 1003);
}

TEST_F(DialogScript, DisabledControlsCannotBeChangedAndNoButtonMeansOk) {
  // 1016 is disabled until its box is ticked; 1015 too.
  Script("dialog: 1016=5; 1015=9; #1037=Ünïcode name that is long\n");
  os::Dialog d = FavouriteLike();
  EXPECT_EQ(os::RunDialog(nullptr, d), os::kIdOk);
  EXPECT_EQ(d.Text(1016), "0");
  EXPECT_EQ(d.Text(1015), "0");
  EXPECT_EQ(d.Text(1037), "Ünïcode name t");  // cut whole before byte 16
}

TEST_F(DialogScript, KindsAndCaptionPrefixesKeepLinesApart) {
  Script(
      "Pellam Corvane: Edit=>dialog: Cancel\n"
      "dialog: 1037=first\n"
      "Yes\n"
      "ID Files=>file: /tmp/me.id\n"
      "file:\n");
  // The question takes the plain line, not a dialog or file line.
  EXPECT_EQ(
      os::MessageBox(nullptr, "Create one?", "Corvane", os::Icon::kQuestion, os::Buttons::kYesNo),
      os::Answer::kYes);
  os::Dialog add = FavouriteLike();
  EXPECT_EQ(os::RunDialog(nullptr, add), os::kIdOk);
  EXPECT_EQ(add.Text(1037), "first");
  os::Dialog edit(148, "Pellam Corvane: Edit Replication Schedule");
  edit.AddButton(1, "OK");
  edit.AddButton(2, "Cancel");
  EXPECT_EQ(os::RunDialog(nullptr, edit), os::kIdCancel);

  std::string path = "unchanged";
  EXPECT_FALSE(os::ChooseOpenFile(nullptr, "Open", "", &path));  // "file:" cancels
  EXPECT_EQ(path, "unchanged");
  EXPECT_TRUE(os::ChooseOpenFile(nullptr, "ID Files", "ID Files (*.id)", &path));
  EXPECT_EQ(path, "/tmp/me.id");
  EXPECT_FALSE(os::ChooseSaveFile(nullptr, "Save", "", &path));  // script used up
}

TEST(Dialog, NoScriptAndNoTerminalCancels) {
  unsetenv("CORVANE_ANSWERS");
  os::ResetAnswerScript();
  if (::isatty(STDIN_FILENO)) GTEST_SKIP() << "a terminal would be asked";
  os::Dialog d = FavouriteLike();
  EXPECT_EQ(os::RunDialog(nullptr, d), os::kIdCancel);
}

}  // namespace
