// Questions, dialog forms, file choosers and the timed status dialog of the
// windowed desktop, asked from worker threads and answered by clicking the
// real widgets on the GUI thread.
#include <unistd.h>

#include <QCheckBox>
#include <QFileDialog>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTest>
#include <chrono>
#include <fstream>
#include <thread>

#include "favourites/favourite_dialog.h"
#include "os/dialog.h"
#include "os/qt/dialog_form.h"
#include "tests/qt/qt_fixture.h"

namespace {

using favourites::FavouriteResult;
using favourites::FavouriteValues;

template <typename Widget>
Widget* Control(QWidget* form, int id) {
  return form->findChild<Widget*>(QStringLiteral("control_%1").arg(id));
}

void Click(QWidget* widget) {
  ASSERT_NE(widget, nullptr);
  QTest::mouseClick(widget, Qt::LeftButton);
}

// Whether the two widgets sit on one row of the form.
bool SameRow(QWidget* a, QWidget* b) {
  QRect ra(a->mapTo(a->window(), QPoint(0, 0)), a->size());
  QRect rb(b->mapTo(b->window(), QPoint(0, 0)), b->size());
  return ra.center().y() > rb.top() && ra.center().y() < rb.bottom();
}

// No two visible controls of the form overlap.
void ExpectNoOverlap(QWidget* form) {
  QList<QWidget*> controls;
  for (QWidget* w : form->findChildren<QWidget*>())
    if (w->isVisible() && (qobject_cast<QLabel*>(w) || qobject_cast<QLineEdit*>(w) ||
                           qobject_cast<QAbstractButton*>(w)))
      controls << w;
  for (int i = 0; i < controls.size(); ++i)
    for (int j = i + 1; j < controls.size(); ++j) {
      QRect a(controls[i]->mapTo(form, QPoint(0, 0)), controls[i]->size());
      QRect b(controls[j]->mapTo(form, QPoint(0, 0)), controls[j]->size());
      EXPECT_FALSE(a.intersects(b)) << controls[i]->objectName().toStdString() << " over "
                                    << controls[j]->objectName().toStdString();
    }
}

TEST_F(QtDesktopTest, QuestionsFromAWorkerAreAnsweredOnTheGuiThread) {
  auto yes = OnWorker([] {
    return os::MessageBox(nullptr, "Shut down Corvane?", "Corvane", os::Icon::kQuestion,
                          os::Buttons::kYesNo);
  });
  auto* box = WaitForWindow<QMessageBox>("message_box");
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(box->thread(), QThread::currentThread());
  EXPECT_EQ(box->windowTitle(), "Corvane");
  EXPECT_EQ(box->text(), "Shut down Corvane?");
  EXPECT_EQ(box->icon(), QMessageBox::Question);
  ASSERT_NE(box->button(QMessageBox::No), nullptr);
  Click(box->button(QMessageBox::Yes));
  EXPECT_EQ(Await(yes), os::Answer::kYes);

  // The window's close button is the safe answer.
  auto cancel = OnWorker([] {
    return os::MessageBox(nullptr, "Replace it?", "Pellam Corvane", os::Icon::kExclamation,
                          os::Buttons::kOkCancel);
  });
  box = WaitForWindow<QMessageBox>("message_box");
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(box->icon(), QMessageBox::Warning);
  box->close();
  EXPECT_EQ(Await(cancel), os::Answer::kCancel);

  // A plain message waits for its OK too; the error icon is the stop sign.
  auto ok = OnWorker([] {
    return os::MessageBox(nullptr, "Failed loading shared resources", "Error Condition Encountered",
                          os::Icon::kError, os::Buttons::kOk);
  });
  box = WaitForWindow<QMessageBox>("message_box");
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(box->icon(), QMessageBox::Critical);
  EXPECT_EQ(ok.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
  Click(box->button(QMessageBox::Ok));
  EXPECT_EQ(Await(ok), os::Answer::kOk);
}

TEST_F(QtDesktopTest, AddFavoriteFormFollowsItsRulesAndGivesTheClickedValues) {
  FavouriteValues values;
  values.title = "Local news";
  auto result =
      OnWorker([&values] { return favourites::RunFavouriteDialog(nullptr, false, &values); });
  auto* form = WaitForWindow<os::qt::DialogForm>("dialog_146");
  ASSERT_NE(form, nullptr);
  EXPECT_EQ(form->windowTitle(), "Pellam Corvane: Add Favorite");
  auto* name = Control<QLineEdit>(form, favourites::kIdName);
  auto* include = Control<QCheckBox>(form, favourites::kIdInclude);
  auto* levels = Control<QLineEdit>(form, favourites::kIdLevels);
  auto* keep = Control<QCheckBox>(form, favourites::kIdKeep);
  auto* frequency = Control<QLineEdit>(form, favourites::kIdFrequency);
  auto* hours = Control<QRadioButton>(form, favourites::kIdHours);
  auto* days = Control<QRadioButton>(form, favourites::kIdDays);
  auto* replicate = Control<QCheckBox>(form, favourites::kIdReplicate);
  ASSERT_TRUE(name && include && levels && keep && frequency && hours && days && replicate);
  ASSERT_NE(Control<QPushButton>(form, favourites::kIdAdvanced), nullptr);
  EXPECT_EQ(name->text(), "Local news");
  EXPECT_TRUE(replicate->isChecked());
  // Opened: the levels and the frequency follow their unticked boxes.
  EXPECT_FALSE(levels->isEnabled());
  EXPECT_FALSE(frequency->isEnabled());
  EXPECT_FALSE(hours->isEnabled());
  EXPECT_TRUE(days->isChecked());
  // The sentences read as rows.
  EXPECT_TRUE(SameRow(include, levels));
  EXPECT_TRUE(SameRow(keep, days));
  EXPECT_FALSE(SameRow(include, keep));
  ExpectNoOverlap(form);

  Click(include);
  EXPECT_TRUE(levels->isEnabled());
  EXPECT_EQ(levels->text(), "1");
  levels->selectAll();
  QTest::keyClicks(levels, "3");
  Click(keep);
  EXPECT_TRUE(frequency->isEnabled());
  EXPECT_EQ(frequency->text(), "1");
  Click(hours);
  EXPECT_TRUE(hours->isChecked());
  EXPECT_FALSE(days->isChecked());
  name->selectAll();
  QTest::keyClicks(name, "Weather");
  Click(replicate);
  Click(Control<QPushButton>(form, os::kIdOk));

  EXPECT_EQ(Await(result), FavouriteResult::kOk);
  EXPECT_EQ(values.title, "Weather");
  EXPECT_EQ(values.levels, "3");
  EXPECT_TRUE(values.include);
  EXPECT_TRUE(values.keep);
  EXPECT_EQ(values.frequency, "1");
  EXPECT_EQ(values.unit, favourites::FrequencyUnit::kHours);
  EXPECT_FALSE(values.replicate);
}

TEST_F(QtDesktopTest, FormsClosedByTheWindowOrEscAreCancelled) {
  FavouriteValues values;
  values.title = "Kept";
  values.keep = true;
  values.frequency = "2";
  auto closed =
      OnWorker([&values] { return favourites::RunFavouriteDialog(nullptr, true, &values); });
  auto* form = WaitForWindow<os::qt::DialogForm>("dialog_148");
  ASSERT_NE(form, nullptr);
  EXPECT_EQ(form->windowTitle(), "Pellam Corvane: Edit Replication Schedule");
  EXPECT_TRUE(Control<QLineEdit>(form, favourites::kIdFrequency)->isEnabled());
  Control<QLineEdit>(form, favourites::kIdName)->selectAll();
  QTest::keyClicks(Control<QLineEdit>(form, favourites::kIdName), "Changed");
  form->close();
  EXPECT_EQ(Await(closed), FavouriteResult::kCancel);
  EXPECT_EQ(values.title, "Kept");

  auto escaped = OnWorker([] { return favourites::RunEditFavouriteDialog(nullptr); });
  form = WaitForWindow<os::qt::DialogForm>("dialog_107");
  ASSERT_NE(form, nullptr);
  // Esc cancels on its press; the form is gone before the release, which
  // it never sees: the key must not stay down for the program.
  QTest::keyPress(form, Qt::Key_Escape);
  EXPECT_EQ(Await(escaped), 0);
  EXPECT_FALSE(os::KeyDown(os::Key::kEsc));
}

TEST_F(QtDesktopTest, EditFavoriteChoiceAndEntryDialogAnswerByClicksAndEnter) {
  auto choice = OnWorker([] { return favourites::RunEditFavouriteDialog(nullptr); });
  auto* form = WaitForWindow<os::qt::DialogForm>("dialog_107");
  ASSERT_NE(form, nullptr);
  auto* comments = Control<QRadioButton>(form, favourites::kIdEditComments);
  auto* run_now = Control<QRadioButton>(form, favourites::kIdRunNow);
  ASSERT_TRUE(comments && run_now);
  EXPECT_TRUE(comments->isChecked());
  Click(run_now);
  EXPECT_FALSE(comments->isChecked());
  Click(Control<QPushButton>(form, os::kIdOk));
  EXPECT_EQ(Await(choice), favourites::kIdRunNow);

  std::string value = "30";
  auto entry = OnWorker([&value] {
    return favourites::RunEntryDialog(nullptr, "Lines shown on a view page:", &value);
  });
  form = WaitForWindow<os::qt::DialogForm>("dialog_138");
  ASSERT_NE(form, nullptr);
  auto* edit = Control<QLineEdit>(form, favourites::kIdEntry);
  ASSERT_NE(edit, nullptr);
  EXPECT_EQ(edit->text(), "30");
  edit->setFocus();
  edit->selectAll();
  QTest::keyClicks(edit, "45");
  QTest::keyClick(edit, Qt::Key_Return);  // the default button, OK
  EXPECT_TRUE(Await(entry));
  EXPECT_EQ(value, "45");
}

TEST_F(QtDesktopTest, SingleChoiceRuleAndLongListsScroll) {
  // A category list of the kind the categorise command builds: one
  // choice at a time, many entries, a disabled edit for new ones.
  os::Dialog dialog(149, "Categorize");
  dialog.AddStatic("Categories");
  for (int i = 0; i < 40; ++i)
    dialog.AddCheckBox(2000 + i, "Category " + std::to_string(i), i == 0);
  dialog.AddEdit(1900, "New categories:");
  dialog.SetEnabled(1900, false);
  dialog.AddButton(os::kIdOk, "OK", true);
  dialog.AddButton(os::kIdCancel, "Cancel");
  dialog.SetRule([](os::Dialog& d, int id) {
    if (id < 2000 || !d.Checked(id)) return;
    for (int other = 2000; other < 2040; ++other)
      if (other != id) d.SetChecked(other, false);
  });
  auto pressed = OnWorker([&dialog] { return os::RunDialog(nullptr, dialog); });
  auto* form = WaitForWindow<os::qt::DialogForm>("dialog_149");
  ASSERT_NE(form, nullptr);
  EXPECT_LT(form->height(), 700) << "a long list must scroll, not grow past the screen";
  EXPECT_FALSE(Control<QLineEdit>(form, 1900)->isEnabled());
  auto* third = Control<QCheckBox>(form, 2002);
  third->ensurePolished();
  Click(third);
  EXPECT_FALSE(Control<QCheckBox>(form, 2000)->isChecked());
  EXPECT_TRUE(third->isChecked());
  Click(Control<QPushButton>(form, os::kIdOk));
  EXPECT_EQ(Await(pressed), os::kIdOk);
  EXPECT_TRUE(dialog.Checked(2002));
  EXPECT_FALSE(dialog.Checked(2000));
}

TEST_F(QtDesktopTest, FileChoosersOpenAtTheProposalAndCancelKeepsThePath) {
  char pattern[] = "/tmp/corvane-qt-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  std::string folder = pattern;
  std::string browser = folder + "/browser";
  std::ofstream(browser) << "#!/bin/sh\n";

  std::string chosen;
  auto open = OnWorker([&] {
    return os::ChooseOpenFile(nullptr, "Choose a browser", "Programs (*)", &chosen,
                              {browser, "/usr/bin/true"});
  });
  auto* chooser = WaitForWindow<QFileDialog>("file_chooser");
  ASSERT_NE(chooser, nullptr);
  EXPECT_EQ(chooser->windowTitle(), "Choose a browser");
  EXPECT_EQ(chooser->acceptMode(), QFileDialog::AcceptOpen);
  EXPECT_EQ(chooser->directory().absolutePath().toStdString(), folder);
  EXPECT_TRUE(chooser->history().contains("/usr/bin"));
  ASSERT_EQ(chooser->selectedFiles().size(), 1);
  EXPECT_EQ(chooser->selectedFiles().front().toStdString(), browser);
  static_cast<QDialog*>(chooser)->accept();  // the Open button
  EXPECT_TRUE(Await(open));
  EXPECT_EQ(chosen, browser);

  std::string path = folder + "/saved.txt";
  auto save =
      OnWorker([&path] { return os::ChooseSaveFile(nullptr, "Save Attachment", "", &path); });
  chooser = WaitForWindow<QFileDialog>("file_chooser");
  ASSERT_NE(chooser, nullptr);
  EXPECT_EQ(chooser->acceptMode(), QFileDialog::AcceptSave);
  chooser->close();
  EXPECT_FALSE(Await(save));
  EXPECT_EQ(path, folder + "/saved.txt");
  std::remove(browser.c_str());
  rmdir(pattern);
}

TEST_F(QtDesktopTest, StatusDialogIsPlacedAndClosesItselfAfterItsTime) {
  auto start = std::chrono::steady_clock::now();
  auto shown = OnWorker([] {
    return os::ShowTimedStatus("Corvane Background Job Status", "Processing started...", 400);
  });
  auto* dialog = WaitForWindow<QDialog>("status_dialog");
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(dialog->windowTitle(), "Corvane Background Job Status");
  EXPECT_EQ(dialog->findChild<QLabel*>("status_text")->text(), "Processing started...");
  QRect screen = QGuiApplication::primaryScreen()->geometry();
  EXPECT_EQ(dialog->pos(), QPoint(screen.width() / 2 - 200, screen.height() / 2 - 80));
  EXPECT_TRUE(dialog->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
  EXPECT_TRUE(Await(shown));
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(400));
  PumpUntil([] { return false; }, 50);
  for (QWidget* widget : QApplication::topLevelWidgets())
    EXPECT_FALSE(widget->objectName() == "status_dialog" && widget->isVisible());
}

}  // namespace
