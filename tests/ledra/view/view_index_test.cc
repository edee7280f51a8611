// View indexes over real database files: the row tree of a categorised view
// (nested and multi-valued categories, responses to responses), every
// navigation code from every kind of row, positions, the last-row search,
// key search, key lists, columns, hierarchy deletion and refresh, including
// a change made by another process.
#include <cstdio>
#include <fstream>
#include <random>
#include <utility>

#include "tests/ledra/view/view_fixture.h"

namespace {

constexpr char kDesign[] = R"({
  "title": "Discussion",
  "views": [
    {"name": "By Category", "columns": [
       {"title": "Category", "item": "Categories", "categorized": true, "width": 12},
       {"title": "Subject", "item": "Subject", "sort": "ascending", "width": 20},
       {"title": "Replies", "formula": "@DocChildren", "flags": 16, "width": 3}]},
    {"name": "By Subject", "columns": [
       {"title": "Subject", "item": "Subject", "sort": "ascending"},
       {"title": "Count", "item": "Count", "flags": 8}]},
    {"name": "By Count", "columns": [{"title": "Count", "item": "Count", "sort": "descending"}]}
  ],
  "folders": [{"name": "Picks", "items": {"$FolderUnids": ["1g1g1g1g", "7g7g7g7g"]}}],
  "documents": [
    {"unid": "1g1g1g1g", "items": {"Subject": "alpha", "Categories": ["Red\\Dark", "Blue"], "Count": 3,
                                   "Body": "the quick brown fox"}},
    {"unid": "2g2g2g2g", "items": {"Subject": "beta", "Categories": "Red", "Count": 10, "Body": "lazy dogs sleep"}},
    {"unid": "3g3g3g3g", "parent": "1g1g1g1g", "items": {"Subject": "re alpha"}},
    {"unid": "4g4g4g4g", "parent": "3g3g3g3g", "items": {"Subject": "re re alpha"}},
    {"unid": "5g5g5g5g", "items": {"Subject": "gamma", "Count": 7, "Body": "brown bread"}},
    {"unid": "6g6g6g6g", "items": {"Subject": "delta", "Categories": "red", "Count": 1,
                                   "Body": "quick thinking fox hunts"}},
    {"unid": "7g7g7g7g", "items": {"Subject": "Gamut", "Count": 2, "Body": "a full range of colours"}}
  ]
})";

class ViewIndexTest : public ViewTest {
 protected:
  void SetUp() override {
    ViewTest::SetUp();
    db_ = MakeFrom("disc.ldf", kDesign);
  }
  VXHandle db_ = 0;
};

const std::vector<std::string> kByCategory = {
    "1 0 d |gamma|",
    "2 0 d |Gamut|",
    "3 0 -1 Blue||",
    "3.1 1 d |alpha|",
    "3.1.1 2 d |re alpha|1",
    "3.1.1.1 3 d |re re alpha|0",
    "4 0 -1 Red||",
    "4.1 1 d |beta|",
    "4.2 1 d |delta|",
    "4.3 1 -1 Dark||",
    "4.3.1 2 d |alpha|",
    "4.3.1.1 3 d |re alpha|1",
    "4.3.1.1.1 4 d |re re alpha|0",
};

// Rows as "position level kind cells": kind -1 for a category, d else.
std::vector<std::string> Tree(VXHandle index) {
  std::vector<std::string> rows = ViewTest::Rows(index);
  for (std::string& r : rows) {
    size_t a = r.find(' '), b = r.find(' ', a + 1), c = r.find(' ', b + 1);
    if (r.compare(b + 1, c - b - 1, "-1") != 0) r.replace(b + 1, c - b - 1, "d");
  }
  return rows;
}

TEST_F(ViewIndexTest, CategorisedViewNestsCategoriesRepeatsMultiValuedDocumentsAndNestsResponses) {
  VXHandle index = OpenView(db_, "By Category");
  EXPECT_EQ(Tree(index), kByCategory);
  uint32_t count = 0;
  ASSERT_EQ(VXIndexGetCount(index, &count), kVXOk);
  EXPECT_EQ(count, 4u);
  // Row information: a response knows how deep it hangs below its document.
  ASSERT_EQ(VXIndexSetViewPosition(index, "4.3.1.1.1"), kVXOk);
  VXNoteId id = 0;
  VXRowInfo info;
  ASSERT_EQ(VXIndexNavigate(index, 6, 0, &id, &info), kVXOk);
  EXPECT_EQ(info.level, 4u);
  EXPECT_EQ(info.response_level, 2u);
  EXPECT_EQ(info.flags & (kVXRowResponse | kVXRowCategory), kVXRowResponse);
  EXPECT_EQ(id, ByUnid(db_, 4));
  ASSERT_EQ(VXIndexSetViewPosition(index, "4.3"), kVXOk);
  ASSERT_EQ(VXIndexNavigate(index, 6, 0, &id, &info), kVXOk);
  EXPECT_EQ(id, 0xFFFFFFFFu);
  EXPECT_EQ(info.flags & kVXRowCategory, kVXRowCategory);
  EXPECT_EQ(info.child_count, 1u);
  EXPECT_EQ(VXIndexClose(index), kVXOk);
  EXPECT_EQ(VXIndexClose(index), kVXBadHandle);
}

TEST_F(ViewIndexTest, EveryNavigationCodeFromEveryKindOfRow) {
  VXHandle index = OpenView(db_, "By Category");
  struct Case {
    const char* from;
    uint32_t code, mode;
    const char* to;  // nullptr: the move fails and the row stays
  } cases[] = {
      // a category row
      {"3", 6, 0, "3"},
      {"3", 0, 0, "3.1"},
      {"3", 0, 2, "2"},
      {"3", 2, 0, "4"},
      {"3", 3, 1, "3"},
      {"3", 1, 2, "1"},
      {"3", 3, 0, "3.1"},
      {"3", 1, 0, "3"},
      // a nested category row
      {"4.3", 0, 2, "4.2"},
      {"4.3", 2, 0, nullptr},
      {"4.3", 3, 0, "4.3.1"},
      // a main document without responses
      {"1", 6, 0, "1"},
      {"1", 0, 0, "2"},
      {"1", 0, 2, nullptr},
      {"1", 2, 0, "2"},
      {"1", 3, 1, nullptr},
      {"1", 3, 0, nullptr},
      {"1", 1, 2, "1"},
      // a document with responses, under a category
      {"3.1", 3, 1, "3.1"},
      {"3.1", 3, 0, "3.1.1"},
      {"3.1", 2, 0, "4"},
      {"3.1", 0, 2, "3"},
      // a response with a response below it
      {"3.1.1", 0, 0, "3.1.1.1"},
      {"3.1.1", 0, 2, "3.1"},
      {"3.1.1", 2, 0, "4"},
      {"3.1.1", 3, 1, "3.1.1"},
      // the final row
      {"4.3.1.1.1", 0, 0, nullptr},
      {"4.3.1.1.1", 2, 0, nullptr},
      {"4.3.1.1.1", 0, 2, "4.3.1.1"},
      {"4.3.1.1.1", 3, 0, nullptr},
      {"4.3.1.1.1", 1, 0, "4.3.1.1.1"},
      // a document directly before a nested category
      {"4.2", 2, 0, "4.3"},
      {"4.2", 0, 0, "4.3"},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(VXIndexSetViewPosition(index, c.from), kVXOk) << c.from;
    VXNoteId id = 0;
    VXStatus s = VXIndexNavigate(index, c.code, c.mode, &id, nullptr);
    std::string label =
        std::string(c.from) + " (" + std::to_string(c.code) + "," + std::to_string(c.mode) + ")";
    if (c.to == nullptr) {
      EXPECT_NE(s, kVXOk) << label;
      EXPECT_EQ(Position(index), c.from) << label;
    } else {
      EXPECT_EQ(s, kVXOk) << label;
      EXPECT_EQ(Position(index), c.to) << label;
    }
  }
  // A new cursor stands before the first row: (6, 0) fails, (0, 0) gives it.
  VXHandle fresh = OpenView(db_, "By Category");
  VXNoteId id = 0;
  EXPECT_EQ(VXIndexNavigate(fresh, 6, 0, &id, nullptr), kVXNoCurrentRow);
  EXPECT_EQ(VXIndexNavigate(fresh, 0, 0, &id, nullptr), kVXOk);
  EXPECT_EQ(Position(fresh), "1");
  EXPECT_EQ(VXIndexNavigate(fresh, 9, 9, &id, nullptr), kVXBadArgument);
}

TEST_F(ViewIndexTest, PositionsRoundTripAndMissingRowsFail) {
  VXHandle index = OpenView(db_, "By Category");
  for (const std::string& row : kByCategory) {
    std::string p = row.substr(0, row.find(' '));
    ASSERT_EQ(VXIndexSetViewPosition(index, p.c_str()), kVXOk) << p;
    EXPECT_EQ(Position(index), p);
    std::string again = Position(index);
    ASSERT_EQ(VXIndexSetViewPosition(index, again.c_str()), kVXOk);
    EXPECT_EQ(Position(index), p);
  }
  ASSERT_EQ(VXIndexSetViewPosition(index, "3.1"), kVXOk);
  for (const char* bad :
       {"5", "0", "3.2", "1.1", "4.3.2", "", "x", "3..1", "3.", ".3", "-1", "99999999999"}) {
    EXPECT_EQ(VXIndexSetViewPosition(index, bad), kVXNoSuchRow) << bad;
    EXPECT_EQ(Position(index), "3.1") << bad;
  }
  EXPECT_EQ(VXIndexSetPosition(index, 4), kVXOk);
  EXPECT_EQ(Position(index), "4");
  EXPECT_EQ(VXIndexSetPosition(index, 5), kVXNoSuchRow);
  char tiny[3];
  ASSERT_EQ(VXIndexSetViewPosition(index, "4.3.1.1.1"), kVXOk);
  EXPECT_EQ(VXIndexGetViewPosition(index, sizeof tiny, tiny), kVXBufferTooSmall);
}

// The view page's search for the final row: the last top-level row, then
// downward by halving steps over child numbers, then (1, 0).
std::string LastRow(VXHandle index) {
  uint32_t n = 0;
  if (VXIndexGetCount(index, &n) != kVXOk || VXIndexSetPosition(index, n) != kVXOk)
    return "<empty>";
  std::string p = std::to_string(n);
  long k = 1, step = 4096;
  while (k < 9000000) {
    std::string child = p + "." + std::to_string(k + step - 1);
    bool exists = VXIndexSetViewPosition(index, child.c_str()) == kVXOk;
    if (step > 1) {
      if (exists) {
        k = k + step - 1 + 1;
      } else {
        step /= 2;
      }
      continue;
    }
    if (exists) {
      ++k;
      continue;
    }
    if (k == 1) break;
    p = p + "." + std::to_string(k - 1);
    k = 1;
    step = 4096;
  }
  (void)VXIndexSetViewPosition(index, p.c_str());
  VXNoteId id = 0;
  if (VXIndexNavigate(index, 1, 0, &id, nullptr) != kVXOk) return "<lost>";
  return ViewTest::Position(index);
}

TEST_F(ViewIndexTest, LastRowSearchLandsOnTheFinalRow) {
  VXHandle index = OpenView(db_, "By Category");
  EXPECT_EQ(LastRow(index), "4.3.1.1.1");
  // Many siblings: the halving steps must still find the last one.
  VXHandle subject = OpenView(db_, "By Subject");
  int32_t batch = 1;
  ASSERT_EQ(VXDatabaseSetProperty(db_, kDbPropBatch, &batch), kVXOk);
  for (int i = 0; i < 5000; ++i)
    ASSERT_NE(SaveText(db_, "Subject", "bulk " + std::to_string(100000 + i)), 0u);
  batch = 0;
  ASSERT_EQ(VXDatabaseSetProperty(db_, kDbPropBatch, &batch), kVXOk);
  ASSERT_EQ(VXIndexRefresh(subject), kVXOk);
  EXPECT_EQ(LastRow(subject), "5005");
  EXPECT_EQ(Cells(subject), "Gamut|2");
}

TEST_F(ViewIndexTest, KeySearchByLeadingTextNumbersAndTheFallbackOfTheSearchBar) {
  VXHandle index = OpenView(db_, "By Subject");
  auto search = [&](const std::string& text, uint32_t options, uint32_t* count) {
    VXKey key;
    key.type = kVXTypeText;
    snprintf(key.text, sizeof key.text, "%s", text.c_str());
    return VXIndexKeySearch(index, &key, 1, options, count);
  };
  struct Case {
    const char* text;
    uint32_t options;
    const char* subject;  // nullptr: no match
    uint32_t count;
  } cases[] = {
      {"del", 3, "delta", 1},   {"DEL", 3, "delta", 1},   {"DEL", 1, nullptr, 0},
      {"delta", 0, "delta", 1}, {"Delta", 0, nullptr, 0}, {"Delta", 2, "delta", 1},
      {"gam", 3, "gamma", 2},   {"Gam", 1, "Gamut", 1},   {"re", 3, nullptr, 0},
      {"zzz", 3, nullptr, 0},
  };
  for (const Case& c : cases) {
    uint32_t count = 99;
    VXStatus s = search(c.text, c.options, &count);
    EXPECT_EQ(count, c.count) << c.text;
    if (c.subject == nullptr) {
      EXPECT_EQ(s, kVXNoSuchRow) << c.text;
      continue;
    }
    ASSERT_EQ(s, kVXOk) << c.text;
    char cell[64];
    uint32_t n = 0;
    ASSERT_EQ(VXViewcellFetch(index, 1, cell, sizeof cell, &n), kVXOk);
    EXPECT_EQ(std::string(cell, n), c.subject) << c.text;
  }
  // The search bar: drop the last character until a row begins with the text.
  std::string text = "betamax";
  uint32_t count = 0;
  while (search(text, 3, &count) != kVXOk && !text.empty()) text.pop_back();
  EXPECT_EQ(text, "beta");
  EXPECT_EQ(Position(index), "2");
  // Numbers, in a descending column.
  VXHandle by_count = OpenView(db_, "By Count");
  VXKey key;
  key.type = kVXTypeNumber;
  key.number = 7;
  ASSERT_EQ(VXIndexKeySearch(by_count, &key, 1, 0, &count), kVXOk);
  EXPECT_EQ(Position(by_count), "2");  // 10, 7, 3, 2, 1, then the documents without a count
  key.number = 8;
  EXPECT_EQ(VXIndexKeySearch(by_count, &key, 1, 0, &count), kVXNoSuchRow);
}

TEST_F(ViewIndexTest, KeyListsAndColumnsAsTheViewRecordReadsThem) {
  VXHandle index = OpenView(db_, "By Category");
  VXKey key;
  std::vector<std::string> keys;
  for (VXStatus s = VXIndexListKey(index, 2, &key); s == kVXOk;
       s = VXIndexListKey(index, 4, &key)) {
    keys.push_back(key.text);
    EXPECT_EQ(key.column, 1u);
  }
  EXPECT_EQ(keys, (std::vector<std::string>{"Blue", "Red"}));
  EXPECT_EQ(VXIndexListKey(OpenView(db_, "By Subject"), 2, &key), kVXNoKey);

  struct Want {
    const char* item;
    const char* title;
    uint32_t width, flags;
  } want[] = {{"Categories", "Category", 12, 0x05},
              {"Subject", "Subject", 20, 0x01},
              {"", "Replies", 3, 0x10}};
  VXColumnRecord col;
  size_t n = 0;
  for (VXStatus s = VXColumnList(index, 2, &col); s == kVXOk;
       s = VXColumnList(index, 4, &col), ++n) {
    ASSERT_LT(n, 3u);
    EXPECT_STREQ(col.item_name, want[n].item);
    EXPECT_STREQ(col.title, want[n].title);
    EXPECT_EQ((col.width & ~2u) >> 2, want[n].width);
    EXPECT_EQ(col.flags, want[n].flags);
  }
  EXPECT_EQ(n, 3u);
  ASSERT_EQ(VXColumnFetch(index, 3, &col), kVXOk);
  EXPECT_STREQ(col.formula, "@DocChildren");
  EXPECT_EQ(VXColumnFetch(index, 4, &col), kVXBadArgument);
  EXPECT_EQ(VXColumnFetch(index, 0, &col), kVXBadArgument);
}

TEST_F(ViewIndexTest, FolderShowsItsListedDocuments) {
  VXNoteId folder = VXFolderLocateByName(db_, "Picks");
  ASSERT_NE(folder, 0u);
  VXHandle index = 0;
  ASSERT_EQ(VXIndexOpen(db_, &index), kVXOk);
  ASSERT_EQ(VXIndexOpenView(index, 0, folder, 0), kVXOk) << Message();
  uint32_t count = 0;
  ASSERT_EQ(VXIndexGetCount(index, &count), kVXOk);
  EXPECT_EQ(count, 2u);
  char name[64];
  ASSERT_EQ(VXIndexGetProperty(index, kIndexPropViewName, name, sizeof name), kVXOk);
  EXPECT_STREQ(name, "Picks");
}

TEST_F(ViewIndexTest, DatabaseCursorWalksEveryDocumentAndSelectAllKeepsThem) {
  VXHandle index = 0;
  ASSERT_EQ(VXIndexOpen(db_, &index), kVXOk);
  ASSERT_EQ(VXIndexSearch(index, "Select @All", 0, 0), kVXOk) << Message();
  uint32_t count = 0;
  ASSERT_EQ(VXIndexGetCount(index, &count), kVXOk);
  EXPECT_EQ(count, 7u);  // responses too: the walk of the deletions sees every document
  VXNoteId id = 0, last = 0;
  int walked = 0;
  while (VXIndexNavigate(index, 0, 0, &id, nullptr) == kVXOk) {
    EXPECT_GT(id, last);
    last = id;
    ++walked;
  }
  EXPECT_EQ(walked, 7);
}

TEST_F(ViewIndexTest, DeleteHierarchyRemovesTheDocumentAndEveryResponseBelowIt) {
  VXHandle index = OpenView(db_, "By Category");
  ASSERT_EQ(VXIndexSetViewPosition(index, "3.1"), kVXOk);
  ASSERT_EQ(VXIndexDeleteHierarchy(index, 0), kVXOk) << Message();
  // The rows stay until the refresh, so the walk of the caller goes on.
  VXNoteId id = 0;
  ASSERT_EQ(VXIndexNavigate(index, 2, 0, &id, nullptr), kVXOk);
  EXPECT_EQ(Position(index), "4");
  ASSERT_EQ(VXIndexRefresh(index), kVXOk);
  EXPECT_EQ(Tree(index), (std::vector<std::string>{"1 0 d |gamma|", "2 0 d |Gamut|", "3 0 -1 Red||",
                                                   "3.1 1 d |beta|", "3.2 1 d |delta|"}));
  VXHandle all = 0;
  ASSERT_EQ(VXIndexOpen(db_, &all), kVXOk);
  uint32_t count = 0;
  ASSERT_EQ(VXIndexGetCount(all, &count), kVXOk);
  EXPECT_EQ(count, 4u);
  // A category row has no document.
  ASSERT_EQ(VXIndexSetViewPosition(index, "3"), kVXOk);
  EXPECT_EQ(VXIndexDeleteHierarchy(index, 0), kVXBadArgument);
}

TEST_F(ViewIndexTest, RefreshBringsInSavesMovesAndDeletionsKeepingTheCursor) {
  VXHandle index = OpenView(db_, "By Category");
  ASSERT_EQ(VXIndexSetViewPosition(index, "4.1"), kVXOk);  // beta
  VXHandle doc = 0;
  ASSERT_EQ(VXDocumentCreate(db_, "Topic", &doc), kVXOk);
  ASSERT_EQ(VXItemPut(doc, "Subject", 0, 0, kVXTypeText, "aardvark", 0), kVXOk);
  ASSERT_EQ(VXItemPut(doc, "Categories", 0, 0, kVXTypeText, "Amber", 0), kVXOk);
  ASSERT_EQ(VXDocumentSave(doc, 0x10000), kVXOk);
  VXNoteId added = 0;
  ASSERT_EQ(VXDocumentGetProperty(doc, kDocPropNoteId, &added, 4), kVXOk);
  ASSERT_EQ(VXDocumentClose(doc, 0), kVXOk);
  // beta moves from Red to Blue; gamma is deleted.
  VXNoteId beta = ByUnid(db_, 2);
  ASSERT_EQ(VXDocumentOpen(db_, beta, 0, &doc), kVXOk);
  ASSERT_EQ(VXItemPut(doc, "Categories", 0, 0, kVXTypeText, "Blue", 0), kVXOk);
  ASSERT_EQ(VXDocumentClose(doc, 0x10000), kVXOk);
  VXNoteId gamma = ByUnid(db_, 5);
  uint32_t count = 0;
  ASSERT_EQ(VXIndexGetCount(index, &count), kVXOk);
  EXPECT_EQ(count, 4u);  // nothing seen before the refresh
  EXPECT_EQ(Tree(index), kByCategory);
  ASSERT_EQ(VXDocumentDelete(db_, gamma, 0), kVXOk);
  ASSERT_EQ(VXIndexSetViewPosition(index, "4.1"), kVXOk);
  ASSERT_EQ(VXIndexRefresh(index), kVXOk);
  EXPECT_EQ(Position(index), "3.2");  // the cursor followed beta
  EXPECT_EQ(Tree(index),
            (std::vector<std::string>{
                "1 0 d |Gamut|", "2 0 -1 Amber||", "2.1 1 d |aardvark|", "3 0 -1 Blue||",
                "3.1 1 d |alpha|", "3.1.1 2 d |re alpha|1", "3.1.1.1 3 d |re re alpha|0",
                "3.2 1 d |beta|", "4 0 -1 Red||", "4.1 1 d |delta|", "4.2 1 -1 Dark||",
                "4.2.1 2 d |alpha|", "4.2.1.1 3 d |re alpha|1", "4.2.1.1.1 4 d |re re alpha|0"}));
  // Turning a main document into a response moves it with its subtree.
  ASSERT_EQ(VXDocumentOpen(db_, added, 0, &doc), kVXOk);
  VXUnid parent;
  parent.words[0] = parent.words[1] = parent.words[2] = parent.words[3] = 2;
  ASSERT_EQ(VXDocumentSetProperty(doc, kDocPropParent, &parent), kVXOk);
  ASSERT_EQ(VXDocumentClose(doc, 0x10000), kVXOk);
  ASSERT_EQ(VXIndexRefresh(index), kVXOk);
  ASSERT_EQ(VXIndexSetViewPosition(index, "2.2.1"), kVXOk) << testing::PrintToString(Tree(index));
  EXPECT_EQ(Cells(index), "|aardvark|0");
}

TEST_F(ViewIndexTest, ADocumentChangedByAnotherProcessAppearsAfterRefresh) {
  VXHandle index = OpenView(db_, "By Subject");
  uint32_t before = 0;
  ASSERT_EQ(VXIndexGetCount(index, &before), kVXOk);
  std::string lines = dir_ + "/lines.json";
  std::ofstream(lines)
      << R"({"items": {"Subject": "from afar", "Count": 42}})"
      << "\n"
      << R"({"unid": "6g6g6g6g", "items": {"Subject": "delta renamed", "Count": 1}})"
      << "\n";
  std::string out = Tool("load " + data() + "/disc.ldf " + lines);
  ASSERT_NE(out.find("2"), std::string::npos) << out;
  uint32_t count = 0;
  ASSERT_EQ(VXIndexGetCount(index, &count), kVXOk);
  EXPECT_EQ(count, before);
  ASSERT_EQ(VXIndexRefresh(index), kVXOk) << Message();
  ASSERT_EQ(VXIndexGetCount(index, &count), kVXOk);
  EXPECT_EQ(count, before + 1);
  std::vector<std::string> subjects;
  VXNoteId id = 0;
  for (VXStatus s = VXIndexNavigate(index, 1, 2, &id, nullptr); s == kVXOk;
       s = VXIndexNavigate(index, 2, 0, &id, nullptr)) {
    char cell[64];
    uint32_t n = 0;
    ASSERT_EQ(VXViewcellFetch(index, 1, cell, sizeof cell, &n), kVXOk);
    subjects.push_back(std::string(cell, n));
  }
  EXPECT_EQ(subjects, (std::vector<std::string>{"alpha", "beta", "delta renamed", "from afar",
                                                "gamma", "Gamut"}));
}

TEST_F(ViewIndexTest, AResponseArrivingBeforeItsParentHangsBelowItOnceTheParentArrives) {
  VXHandle index = OpenView(db_, "By Subject");
  std::string lines = dir_ + "/early.json";
  std::ofstream(lines)
      << R"({"unid": "a1g2g3g4g", "parent": "9g9g9g9g", "items": {"Subject": "early reply"}})"
      << "\n";
  ASSERT_EQ(Tool("load " + data() + "/disc.ldf " + lines).find("ledra:"), std::string::npos);
  ASSERT_EQ(VXIndexRefresh(index), kVXOk);
  std::vector<std::string> rows = Tree(index);
  EXPECT_EQ(rows.size(), 7u);  // five documents and two responses; the early reply waits
  std::ofstream(lines) << R"({"unid": "9g9g9g9g", "items": {"Subject": "late parent"}})"
                       << "\n";
  ASSERT_EQ(Tool("load " + data() + "/disc.ldf " + lines).find("ledra:"), std::string::npos);
  ASSERT_EQ(VXIndexRefresh(index), kVXOk);
  ASSERT_EQ(VXIndexSetViewPosition(index, "6.1"), kVXOk) << testing::PrintToString(Tree(index));
  EXPECT_EQ(Cells(index), "early reply|");
  // A view rebuilt from scratch agrees.
  EXPECT_EQ(Tree(OpenView(db_, "By Subject")), Tree(index));
}

// The page-replica database's key view: one document per URL key, found by
// the exact key; a key that is a leading part of another does not match it.
TEST_F(ViewIndexTest, ExactKeysOfTheReplicaKeyView) {
  VXHandle db = MakeFrom("kvwebrs.ldf", R"({"title": "My Web Page Replicas",
    "views": [{"name": "Web Element Replicas by Key", "columns": [{"title": "Key", "item": "KeyURLC", "sort": "ascending"}]}],
    "documents": [{"items": {"Form": "Web Element Replica", "KeyURLC": "host.example/a"}},
                  {"items": {"Form": "Web Element Replica", "KeyURLC": "host.example/ab"}},
                  {"items": {"Form": "Web Element Replica", "KeyURLC": "host.example/A"}},
                  {"items": {"Form": "Web Element Replica", "KeyURLC": "host.example/a"}}]})");
  VXHandle index = OpenView(db, "Web Element Replicas by Key");
  struct Case {
    const char* key;
    uint32_t count;
  } cases[] = {{"host.example/a", 2},
               {"host.example/A", 1},
               {"host.example/ab", 1},
               {"host.example/", 0},
               {"host.example/abc", 0}};
  for (const Case& c : cases) {
    VXKey key;
    key.type = kVXTypeText;
    snprintf(key.text, sizeof key.text, "%s", c.key);
    uint32_t count = 99;
    VXStatus s = VXIndexKeySearch(index, &key, 1, 0, &count);
    EXPECT_EQ(count, c.count) << c.key;
    EXPECT_EQ(s, c.count == 0 ? kVXNoSuchRow : kVXOk) << c.key;
    if (c.count == 0) continue;
    EXPECT_EQ(Cells(index), c.key);
  }
}

TEST_F(ViewIndexTest, ToolPrintsTheRowsOfAView) {
  std::string out = Tool("view " + data() + "/disc.ldf \"By Category\" --from 4 --count 3");
  EXPECT_EQ(out.substr(0, out.find('\t', 0)), "4") << out;
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t nl; (nl = out.find('\n', start)) != std::string::npos; start = nl + 1)
    lines.push_back(out.substr(start, nl - start));
  ASSERT_EQ(lines.size(), 3u) << out;
  EXPECT_EQ(lines[0], "4\t0\t-1\tRed\t\t");
  EXPECT_EQ(lines[1].substr(0, 6), "4.1\t1\t");
  EXPECT_NE(lines[1].find("\t\tbeta\t"), std::string::npos) << lines[1];
  EXPECT_NE(Tool("view " + data() + "/disc.ldf Nope").find("no view or folder named \"Nope\""),
            std::string::npos);
  EXPECT_NE(Tool("view " + data() + "/disc.ldf \"By Category\" --count x").find("--count needs"),
            std::string::npos);
}

}  // namespace

namespace {

// The notes of a page of rows are read together when its first cell is
// read; the next page (a new position) reads them afresh, and so does a
// save through the database's own handle.
TEST_F(ViewIndexTest, CellsAreReadAfreshForEachPageAndAfterOwnSaves) {
  VXHandle index = OpenView(db_, "By Subject");
  ASSERT_EQ(VXIndexSetViewPosition(index, "1"), kVXOk);
  EXPECT_EQ(Cells(index), "alpha|3");
  std::string lines = dir_ + "/lines.json";
  std::ofstream(lines) << R"({"unid": "1g1g1g1g", "items": {"Subject": "alpha two", "Count": 4}})"
                       << "\n";
  std::string out = Tool("load " + data() + "/disc.ldf " + lines);
  ASSERT_NE(out.find("1"), std::string::npos) << out;
  // The rows stay as they were until a refresh; their cells are new.
  ASSERT_EQ(VXIndexSetViewPosition(index, "1"), kVXOk);
  EXPECT_EQ(Cells(index), "alpha two|4");
  VXHandle doc = 0;
  ASSERT_EQ(VXDocumentOpen(db_, ByUnid(db_, 2), 0, &doc), kVXOk);
  ASSERT_EQ(VXItemPut(doc, "Subject", 0, 0, kVXTypeText, "beta two", 0), kVXOk);
  ASSERT_EQ(VXDocumentSave(doc, 0x10000), kVXOk) << Message();
  ASSERT_EQ(VXDocumentClose(doc, 0), kVXOk);
  // On to the next main document (past alpha's responses), same page.
  VXNoteId id = 0;
  ASSERT_EQ(VXIndexNavigate(index, 2, 0, &id, nullptr), kVXOk);
  EXPECT_EQ(Cells(index), "beta two|10");
  VXIndexClose(index);
}

}  // namespace

namespace {

// Refreshing moves rows in and out of the tree one by one; opening the view
// again builds it whole. After rounds of new documents, responses, changed
// categories and subjects, and deletions, the refreshed tree of a
// categorised view (nested and multi-valued categories, equal keys) and of
// a sorted flat view must be row for row the tree built afresh.
TEST_F(ViewIndexTest, RefreshedTreesMatchTreesBuiltAfresh) {
  VXHandle category = OpenView(db_, "By Category");
  VXHandle subject = OpenView(db_, "By Subject");
  ASSERT_FALSE(Rows(category).empty());
  std::mt19937 random(7);
  const char* categories[] = {R"("Red")",        R"("Blue")",           R"("Red\\Dark")",
                              R"("Blue\\Deep")", R"(["Red", "Green"])", R"(["Blue\\Deep", "Red"])",
                              R"("")",           R"("green")"};
  const char* subjects[] = {"alpha", "beta", "beta", "omega", "Omega", "mid"};
  auto unid = [](unsigned n) {
    char text[64];
    std::snprintf(text, sizeof text, "%xg%xg%xg%xg", n, n, n, n);
    return std::string(text);
  };
  std::vector<unsigned> live;
  unsigned next = 0x100;
  for (int round = 0; round < 6; ++round) {
    std::string lines;
    for (int i = 0; i < 40; ++i) {
      std::string items = std::string(R"("Subject": ")") + subjects[random() % 6] +
                          R"(", "Categories": )" + categories[random() % 8];
      unsigned pick = live.empty() ? 0 : live[random() % live.size()];
      switch (live.empty() ? 0 : random() % 4) {
        case 0:
        case 1:  // a new main document
          live.push_back(next);
          lines += R"({"unid": ")" + unid(next++) + R"(", "items": {)" + items + "}}\n";
          break;
        case 2:  // a response to a document of this test
          live.push_back(next);
          lines += R"({"unid": ")" + unid(next++) + R"(", "parent": ")" + unid(pick) +
                   R"(", "items": {)" + items + "}}\n";
          break;
        default:  // new subject and categories for one
          lines += R"({"unid": ")" + unid(pick) + R"(", "items": {)" + items + "}}\n";
      }
    }
    std::ofstream(dir_ + "/round.json") << lines;
    std::string out = Tool("load " + data() + "/disc.ldf " + dir_ + "/round.json");
    ASSERT_EQ(out.find("ledra:"), std::string::npos) << out;
    // A few deletions through this process; a deleted document's responses
    // stay and wait for a parent.
    for (int i = 0; i < 5 && !live.empty(); ++i) {
      size_t at = random() % live.size();
      ASSERT_EQ(VXDocumentDelete(db_, ByUnid(db_, live[at]), 0), kVXOk) << Message();
      live.erase(live.begin() + static_cast<long>(at));
    }
    for (auto [index, name] : {std::pair{category, "By Category"}, {subject, "By Subject"}}) {
      ASSERT_EQ(VXIndexRefresh(index), kVXOk) << Message();
      VXHandle fresh = OpenView(db_, name);
      ASSERT_EQ(Rows(index), Rows(fresh)) << name << " after round " << round;
      VXIndexClose(fresh);
    }
  }
  VXIndexClose(category);
  VXIndexClose(subject);
}

}  // namespace
