// Pictures of every window the windowed desktop draws, written to the
// build folder's screenshots/ for a person to look at; the test itself
// only checks that each picture was taken and is of a sensible size.
#include <QDir>
#include <QFileDialog>
#include <QListWidget>
#include <QMessageBox>
#include <QPixmap>

#include "favourites/favourite_dialog.h"
#include "os/qt/dialog_form.h"
#include "os/qt/file_chooser.h"
#include "os/qt/message_box.h"
#include "os/qt/status_dialog.h"
#include "os/qt/window_view.h"
#include "tests/qt/qt_fixture.h"

namespace {

class Screenshots : public QtDesktopTest {
 protected:
  void Save(QWidget* widget, const char* name) {
    widget->show();
    QCoreApplication::processEvents();
    QPixmap picture = widget->grab();
    EXPECT_GE(picture.width(), 150) << name;
    EXPECT_GE(picture.height(), 40) << name;
    EXPECT_LE(picture.width(), 1000) << name;
    EXPECT_LE(picture.height(), 760) << name;
    QDir().mkpath(CORVANE_SCREENSHOT_DIR);
    EXPECT_TRUE(picture.save(QString(CORVANE_SCREENSHOT_DIR "/") + name + ".png")) << name;
    widget->hide();
  }

  void SaveForm(os::Dialog& dialog, const char* name) {
    dialog.Open();
    os::qt::DialogForm form(dialog);
    Save(&form, name);
  }
};

TEST_F(Screenshots, EveryWindowOfTheDesktop) {
  // The main window, restored, its trace list shown.
  os::TraceList trace;
  os::Window main_window("Corvane_MainWindow", "Corvane");
  os::WindowLook look;
  look.menu = {{"Options", "-", 0},
               {"Options", "Set Preferred Browser", 40005},
               {"Options", "Hide Dashboard", 40006, true, true},
               {"", "About", 40004}};
  look.list = &trace;
  look.x = look.y = 50;
  look.width = 200;
  look.height = 50;
  look.minimised = false;
  main_window.Show(look);
  for (const char* line :
       {"Successful Vantix initialization.", "a1 listening on 127.0.0.1:8080",
        "l3 GET http://[kv]/Local:/kvconfig.ldf:/V/Schedules", "j4 GET http://example.com/ 200"})
    trace.Append(line);
  os::qt::WindowView* view = nullptr;
  ASSERT_TRUE(PumpUntil([&] {
    view = Desktop().View(&main_window);
    return view != nullptr && view->ListWidget()->count() == 4;
  }));
  view->showNormal();
  Save(view, "main_window");

  os::TraceList log_list;
  os::Window job_window("CorvaneJobsWClass", "Corvane Background Jobs");
  os::WindowLook job_look;
  job_look.menu = {{"File", "Exit", 40001}, {"File", "About", 40002}};
  job_look.list = &log_list;
  job_look.minimised = false;
  job_window.Show(job_look);
  for (const char* line : {"Pellam Corvane: Background Replication Task", "Startup argument: 1234",
                           "Initializing data storage facilities", "Successful initialization.",
                           "Fetching http://example.com/index.htm",
                           "Stored http://example.com/index.htm (2417 bytes)"})
    log_list.Append(line);
  ASSERT_TRUE(PumpUntil([&] {
    view = Desktop().View(&job_window);
    return view != nullptr && view->ListWidget()->count() == 6;
  }));
  view->showNormal();
  Save(view, "job_window");

  favourites::FavouriteValues values;
  values.title = "Local news - The Morning Paper";
  values.include = true;
  values.levels = "1";
  values.keep = true;
  values.frequency = "6";
  values.unit = favourites::FrequencyUnit::kHours;
  os::Dialog add = favourites::MakeFavouriteDialog(false, values);
  SaveForm(add, "dialog_146_add_favorite");
  os::Dialog edit = favourites::MakeFavouriteDialog(true, favourites::FavouriteValues{"Weather"});
  SaveForm(edit, "dialog_148_edit_schedule");
  os::Dialog choice = favourites::MakeEditFavouriteDialog();
  SaveForm(choice, "dialog_107_edit_favorite");
  os::Dialog entry(favourites::kEntryDialog, favourites::kEntryCaption);
  entry.AddStatic("Enter the number of lines to show on a view page (currently 30):",
                  favourites::kIdInstructions);
  entry.AddEdit(favourites::kIdEntry, "", "30");
  entry.AddButton(os::kIdOk, "OK", true);
  entry.AddButton(os::kIdCancel, "Cancel");
  SaveForm(entry, "dialog_138_entry");
  os::Dialog categories(149, "Categorize");
  categories.AddStatic("Categories");
  for (const char* name : {"Business", "News", "Personal", "Travel"})
    categories.AddCheckBox(2000 + categories.Controls().size(), name, name[0] == 'N');
  categories.AddEdit(1900, "New categories:");
  categories.AddButton(os::kIdOk, "OK", true);
  categories.AddButton(os::kIdCancel, "Cancel");
  SaveForm(categories, "dialog_categorize");

  QMessageBox* box = os::qt::MakeMessageBox("Shut down Corvane and all currently running browsers?",
                                            "Corvane", os::Icon::kQuestion, os::Buttons::kYesNo);
  Save(box, "message_yes_no");
  delete box;
  box = os::qt::MakeMessageBox(
      "Corvane cannot find it's configuration database (kvconfig.ldf). Cannot continue, "
      "exiting.\n\n(check README.TXT for troubleshooting instructions)",
      "Corvane", os::Icon::kExclamation, os::Buttons::kOk);
  Save(box, "message_exclamation");
  delete box;

  QFileDialog* chooser = os::qt::MakeFileChooser(false, "Choose your preferred browser",
                                                 "Programs (*)", {"/usr/bin/env"}, "");
  Save(chooser, "file_chooser_browser");
  delete chooser;

  QDialog* status = os::qt::MakeStatusDialog(
      "Corvane Background Job Status",
      "Replicator terminated prematurely. \nRun again and watch the log to determine cause.",
      60000);
  Save(status, "status_dialog");
  delete status;
}

}  // namespace
