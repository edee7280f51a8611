// Name lists, mail-folder classes, view lookups, the column layout of view
// records and the view record cache. Until the platform's views module is
// linked, the index calls are a stand-in table installed by the test.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/configuration.h"
#include "platform/name_lists.h"
#include "platform/view_records.h"
#include "tests/platform/access_fixture.h"

namespace {

using platform::NameListKind;

constexpr char kDesign[] = R"js({"title": "Names", "forms": [
    {"name": "memo"}, {"name": "Answer"}, {"name": "(Hidden form)"}, {"name": "$Setup", "hidden": true}],
  "views": [
    {"name": "beta"}, {"name": "Alpha"}, {"name": "($Inbox)"}, {"name": "(Lookup)"},
    {"name": "($Trash)"}, {"name": "_Under$score"}, {"name": "By Topic\\Colour"}],
  "folders": [{"name": "gamma"}, {"name": "Tasks"}],
  "agents": [{"name": "Zap"}, {"name": "archive"}, {"name": "Quiet", "hidden": true}]})js";

std::vector<std::string> Walk(platform::OpenDatabase& db, NameListKind kind) {
  std::vector<std::string> names;
  std::string name;
  VXNoteId id = 0;
  uint16_t mail = 0;
  for (int start = 1; platform::NextName(db, kind, start, &name, &id, &mail) == 0; start = 0) {
    names.push_back(name + (mail != 0 ? "#" + std::to_string(mail) : ""));
    EXPECT_NE(id, 0u);
  }
  return names;
}

TEST_F(AccessLayer, NameListsAreSortedAndKeepHiddenMailFolders) {
  Create("names.ldf", kDesign);
  platform::OpenDatabase* db = Open("Local", "names.ldf");
  ASSERT_NE(db, nullptr);
  EXPECT_EQ(Walk(*db, NameListKind::kViews),
            (std::vector<std::string>{"(Inbox)#1", "(Trash)#6", "Alpha", "beta", "By Topic/Colour",
                                      "gamma", "Tasks#5", "Underscore"}));
  EXPECT_EQ(Walk(*db, NameListKind::kForms), (std::vector<std::string>{"Answer", "memo"}));
  EXPECT_EQ(Walk(*db, NameListKind::kAgents), (std::vector<std::string>{"archive", "Zap"}));
  // The enumerator goes on from the entry given last, and ends with the
  // platform's end-of-list status.
  std::string name;
  ASSERT_EQ(platform::NextName(*db, NameListKind::kForms, 2, &name, nullptr, nullptr), 0u);
  EXPECT_EQ(name, "Answer");
  ASSERT_EQ(platform::NextName(*db, NameListKind::kForms, 0, &name, nullptr, nullptr), 0u);
  EXPECT_EQ(name, "memo");
  EXPECT_EQ(platform::NextName(*db, NameListKind::kForms, 0, &name, nullptr, nullptr), kVXEndOfList);
}

TEST(NameLists, EqualNamesKeepThePlatformOrderAndMailClassesMatchAnyCase) {
  std::vector<platform::NameEntry> list;
  for (auto [name, id] : std::vector<std::pair<const char*, VXNoteId>>{
           {"b", 1}, {"A", 2}, {"a", 3}, {"B", 4}, {"c", 5}, {"A", 6}}) {
    platform::InsertSorted(&list, {name, id, 0});
  }
  std::vector<VXNoteId> order;
  for (const auto& e : list) order.push_back(e.id);
  EXPECT_EQ(order, (std::vector<VXNoteId>{2, 3, 6, 1, 4, 5}));

  struct {
    const char* name;
    uint16_t mail_class;
  } cases[] = {{"($Inbox)", 1}, {"($inbox)", 1}, {"($Drafts)", 2}, {"($SENT)", 3}, {"($All)", 4},
               {"($ToDo)", 5},  {"($Trash)", 6}, {"tasks", 5},      {"Tasks ", 0},  {"Inbox", 0},
               {"($Inbox", 0},  {"", 0},         {"(Lookup)", 0}};
  for (const auto& c : cases) EXPECT_EQ(platform::MailFolderClass(c.name), c.mail_class) << c.name;
}

TEST_F(AccessLayer, ViewsAreLocatedByNameDisplayNameOrId) {
  Create("names.ldf", kDesign);
  platform::OpenDatabase* db = Open("Local", "names.ldf");
  ASSERT_NE(db, nullptr);
  VXNoteId alpha = platform::LocateViewOrFolder(db->handle, "Alpha");
  ASSERT_NE(alpha, 0u);
  EXPECT_EQ(platform::LocateViewOrFolder(db->handle, "ALPHA"), alpha);
  EXPECT_NE(platform::LocateViewOrFolder(db->handle, "by topic/colour"), 0u);
  EXPECT_NE(platform::LocateViewOrFolder(db->handle, "GAMMA"), 0u);
  EXPECT_EQ(platform::LocateViewOrFolder(db->handle, "delta"), 0u);
  EXPECT_EQ(platform::ViewIdFromText(db->handle, std::to_string(alpha)), alpha);
  EXPECT_EQ(platform::ViewIdFromText(db->handle, "xyz"), 0u);
  EXPECT_EQ(platform::ViewIdFromText(db->handle, "1g2g3g4"), 0u);  // no such document
}

struct LayoutCase {
  const char* what;
  std::vector<platform::ColumnInfo> columns;
  std::vector<uint32_t> widths;
  const char* header;
  uint32_t response_column;
  std::vector<uint8_t> icons;
};

TEST(ViewRecords, HeaderLineIsCutToWidthsAndHiddenColumnsTakeNoRoom) {
  const LayoutCase cases[] = {
      {"titles cut to their widths", {{"Subject line", "", 5 << 2, 0}, {"Date", "", 3 << 2, 0}}, {5, 3},
       "SubjeDat", 0, {0, 0}},
      {"short titles padded to the next column", {{"A", "", 4 << 2, 0}, {"B", "", 2 << 2, 0}}, {4, 2},
       "A   B", 0, {0, 0}},
      {"hidden column has width 0 and no title",
       {{"Key", "", 6 << 2, 0x08}, {"Name", "", 6 << 2, 0}}, {0, 6}, "Name", 0, {0, 0}},
      {"low bits of the width field are flags", {{"Wide", "", (7 << 2) | 3, 0}, {"X", "", 1 << 2, 0}}, {7, 1},
       "Wide   X", 0, {0, 0}},
      {"response column is the last flagged, icons marked",
       {{"", "", 1 << 2, 0x10 | 0x40}, {"T", "", 2 << 2, 0}, {"R", "", 2 << 2, 0x10}}, {1, 2, 2},
       " T R", 3, {1, 0, 0}},
      {"line ends after the last title copied", {{"One", "", 5 << 2, 0}, {"", "", 9 << 2, 0}}, {5, 9},
       "One", 0, {0, 0}},
      {"no columns", {}, {}, "", 0, {}},
  };
  for (const auto& c : cases) {
    platform::ViewRecord view;
    platform::LayOutColumns(c.columns, &view);
    EXPECT_EQ(view.columnWidths, c.widths) << c.what;
    EXPECT_EQ(view.headerLine, c.header) << c.what;
    EXPECT_EQ(view.responseColumn, c.response_column) << c.what;
    EXPECT_EQ(view.iconFlags, c.icons) << c.what;
    EXPECT_EQ(view.columnCount, c.columns.size()) << c.what;
  }
}

TEST(ViewRecords, TheHeaderLineStopsAt4095Characters) {
  std::vector<platform::ColumnInfo> columns(3, {std::string(80, 'x'), "", 2000 << 2, 0});
  platform::ViewRecord view;
  platform::LayOutColumns(columns, &view);
  EXPECT_EQ(view.headerLine.size(), 4000u + 80u);
  columns.push_back({"tail", "", 100 << 2, 0});
  columns.push_back({"past", "", 10 << 2, 0});
  columns[2].width_field = 90 << 2;  // the fourth title starts at 4090
  columns[3].title = "tail end";
  platform::LayOutColumns(columns, &view);
  EXPECT_EQ(view.headerLine.size(), platform::kHeaderLineSize);
  EXPECT_EQ(view.headerLine.substr(4090), "tail ");
}

// The index calls stand in for the platform's views module.
int opened = 0, closed = 0;
VXStatus FakeOpen(VXHandle, VXHandle* index) {
  *index = static_cast<VXHandle>(100 + ++opened);
  return kVXOk;
}
VXStatus FakeOpenView(VXHandle, uint32_t, VXNoteId view, uint32_t) {
  return view == 9999 ? kVXNoteNotFound : kVXOk;
}
VXStatus FakeClose(VXHandle) {
  ++closed;
  return kVXOk;
}
VXStatus FakeColumns(VXHandle, std::vector<platform::ColumnInfo>* columns) {
  *columns = {{"Topic", "Subject", 6 << 2, 0}, {"", "", 1 << 2, 0x10}};
  return kVXOk;
}

TEST_F(AccessLayer, ViewRecordsAreBuiltOnceAndReopenedAfterRelease) {
  Create("names.ldf", kDesign);
  platform::ViewCalls saved = platform::Views();
  platform::Views().indexOpen = FakeOpen;
  platform::Views().indexOpenView = FakeOpenView;
  platform::Views().indexClose = FakeClose;
  platform::Views().columns = FakeColumns;
  opened = closed = 0;

  platform::OpenDatabase* db = Open("Local", "names.ldf");
  ASSERT_NE(db, nullptr);
  platform::ViewRecord* view = platform::GetViewRecordByName(*thread_, db->handle, "by topic/colour");
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(view->name, "By Topic/Colour");
  EXPECT_EQ(view->headerLine, "Topic");
  EXPECT_EQ(view->responseColumn, 2u);
  EXPECT_EQ(view->topPosition, "1");
  EXPECT_EQ(view->currentLine, "");
  EXPECT_EQ(view->database, db);
  EXPECT_EQ(platform::GetViewRecord(*thread_, db->handle, view->viewId), view);
  EXPECT_EQ(opened, 1);

  platform::ReleaseDatabaseHandles(*thread_);
  EXPECT_EQ(view->index, 0u);
  Open("Local", "names.ldf");
  EXPECT_EQ(platform::GetViewRecord(*thread_, db->handle, view->viewId), view);
  EXPECT_NE(view->index, 0u);
  EXPECT_EQ(opened, 2);

  // A view that does not open: the platform's message under
  // "View/Folder Error", the index closed, no record.
  int closed_before = closed;
  EXPECT_EQ(platform::GetViewRecord(*thread_, db->handle, 9999), nullptr);
  EXPECT_EQ(closed, closed_before + 1);
  EXPECT_TRUE(trace_.Contains("[View/Folder Error] (exclamation)")) << trace_.Lines().back();
  EXPECT_EQ(db->viewRecords.size(), 1u);
  EXPECT_EQ(platform::GetViewRecordByName(*thread_, db->handle, "no such view"), nullptr);
  EXPECT_EQ(platform::GetViewRecord(*thread_, 4242, view->viewId), nullptr);  // not in the cache
  platform::CloseAllDatabases(*thread_);
  platform::Views() = saved;
}

TEST_F(AccessLayer, EnvironmentStringsFallBackToTheirDefaults) {
  Create("kvconfig.ldf");
  ASSERT_NE(Open("Local", "kvconfig.ldf"), nullptr);
  struct {
    const char* name;
    const char* value;  // set first; null leaves it unset
    const char* read;
  } cases[] = {
      {platform::kEnvLastWebDatabase, nullptr, "Replicas.Web/kvwebrs.ldf"},
      {platform::kEnvLastWebServer, nullptr, "Local"},
      {platform::kEnvReplicatorsAllowed, nullptr, "3"},
      {platform::kEnvNetworkTimeout, nullptr, "120"},
      {platform::kEnvLinesInView, nullptr, "30"},
      {platform::kEnvRunning, nullptr, ""},
      {platform::kEnvLinesInView, "45", "45"},
      {platform::kEnvLinesInView, "", "30"},
      {platform::kEnvRunning, "TRUE", "TRUE"},
  };
  for (const auto& c : cases) {
    if (c.value != nullptr) {
      ASSERT_TRUE(platform::SetEnvironmentValue(c.name, c.value));
    }
    EXPECT_EQ(platform::EnvironmentValue(c.name), c.read) << c.name;
  }
}

TEST_F(AccessLayer, TheConfigurationDocumentIsReadAndWritten) {
  Create("kvconfig.ldf", R"({"title": "Config", "forms": [{"name": "Configuration"}], "documents": [
      {"items": {"Form": "Schedule", "LocalPort": "1"}},
      {"items": {"Form": "Configuration", "LocalPort": "9123", "StartupURL": "http://x/"}}]})");
  platform::OpenDatabase* db = Open("Local", "kvconfig.ldf");
  ASSERT_NE(db, nullptr);
  std::map<std::string, std::string> items;
  ASSERT_TRUE(platform::ReadConfiguration(db->handle, &items));
  EXPECT_EQ(items["LocalPort"], "9123");
  EXPECT_EQ(items["StartupURL"], "http://x/");
  EXPECT_EQ(items.count("HTTPProxy"), 0u);
  ASSERT_TRUE(platform::WriteConfigurationItem(db->handle, "PreferredBrowser", "/usr/bin/b"));
  items.clear();
  ASSERT_TRUE(platform::ReadConfiguration(db->handle, &items));
  EXPECT_EQ(items["PreferredBrowser"], "/usr/bin/b");
}

}  // namespace
