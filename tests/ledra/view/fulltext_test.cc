// Full-text search over real database files: building and deleting the
// index with database properties 26 and 27, every query form, scores in
// order, results limited to the view, clearing, and the query translator's
// refusals.
#include "ledra/datetime.h"
#include "ledra/view/fulltext.h"
#include "tests/ledra/view/view_fixture.h"

namespace {

constexpr char kDesign[] = R"({
  "title": "Pages",
  "views": [{"name": "By Subject", "columns": [{"title": "Subject", "item": "Subject", "sort": "ascending"}]}],
  "folders": [{"name": "Picks", "items": {"$FolderUnids": ["1g1g1g1g", "5g5g5g5g"]},
               "columns": [{"title": "Subject", "item": "Subject", "sort": "ascending"}]}],
  "documents": [
    {"unid": "1g1g1g1g", "items": {"Subject": "alpha", "Body": "the quick brown fox", "Tags": ["orange", "wild"]}},
    {"unid": "2g2g2g2g", "items": {"Subject": "beta", "Body": "lazy dogs sleep all day"}},
    {"unid": "3g3g3g3g", "items": {"Subject": "gamma", "Body": "brown bread and brown butter, brown"}},
    {"unid": "4g4g4g4g", "items": {"Subject": "delta", "Body": "quick thinking fox hunts"}},
    {"unid": "5g5g5g5g", "items": {"Subject": "epsilon", "Body": "a full range of colours"}}
  ]
})";

class FullTextTest : public ViewTest {
 protected:
  void SetUp() override {
    ViewTest::SetUp();
    db_ = MakeFrom("pages.ldf", kDesign);
  }

  // The subjects of the result rows, in order, with the scores.
  std::vector<std::string> Results(VXHandle index, std::vector<int32_t>* scores = nullptr) {
    std::vector<std::string> out;
    VXNoteId id = 0;
    VXRowInfo info;
    for (VXStatus s = VXIndexNavigate(index, 1, 2, &id, &info); s == kVXOk; s = VXIndexNavigate(index, 0, 0, &id, &info)) {
      char cell[64];
      uint32_t n = 0;
      EXPECT_EQ(VXViewcellFetch(index, 1, cell, sizeof cell, &n), kVXOk);
      out.push_back(std::string(cell, n));
      int32_t score = -1;
      EXPECT_EQ(VXIndexGetProperty(index, kIndexPropScore, &score, 4), kVXOk);
      EXPECT_EQ(static_cast<uint32_t>(score), info.score);
      if (scores != nullptr) scores->push_back(score);
    }
    return out;
  }

  int32_t DbNumber(uint32_t property) {
    int32_t v = -1;
    EXPECT_EQ(VXDatabaseGetProperty(db_, property, &v, 4), kVXOk);
    return v;
  }

  VXHandle db_ = 0;
};

TEST_F(FullTextTest, IndexBuildSetsPropertiesAndDeletionClearsThem) {
  EXPECT_EQ(DbNumber(kDbPropFtPresent), 0);
  VXHandle index = OpenView(db_, "By Subject");
  EXPECT_EQ(VXIndexFTSearch(index, "fox", 1, 1, 0), kVXNoFTIndex);
  ASSERT_EQ(VXDatabaseCreateFTIndex(db_, 200, 0, 0), kVXOk) << Message();
  EXPECT_EQ(DbNumber(kDbPropFtPresent), 1);
  ledra::Datetime updated, modified;
  ASSERT_EQ(VXDatabaseGetProperty(db_, kDbPropFtUpdated, &updated, sizeof updated), kVXOk);
  ASSERT_EQ(VXDatabaseGetProperty(db_, kDbPropLastModified, &modified, sizeof modified), kVXOk);
  EXPECT_LE(VXDatetimeCompare(&modified, &updated), 0);  // up to date
  // A later save makes it out of date, as the search bar checks.
  ASSERT_NE(SaveText(db_, "Subject", "zeta fox"), 0u);
  ASSERT_EQ(VXDatabaseGetProperty(db_, kDbPropLastModified, &modified, sizeof modified), kVXOk);
  EXPECT_GE(VXDatetimeCompare(&modified, &updated), 0);
  ASSERT_EQ(VXIndexFTSearch(index, "zeta", 1, 1, 0), kVXNoMatches);  // not indexed yet
  ASSERT_EQ(VXDatabaseCreateFTIndex(db_, 200, 0, 0), kVXOk);
  ASSERT_EQ(VXIndexRefresh(index), kVXOk);
  ASSERT_EQ(VXIndexFTSearch(index, "zeta", 1, 1, 0), kVXOk) << Message();
  EXPECT_EQ(Results(index), (std::vector<std::string>{"zeta fox"}));
  ASSERT_EQ(VXDatabaseDeleteFTIndex(db_), kVXOk);
  EXPECT_EQ(DbNumber(kDbPropFtPresent), 0);
  EXPECT_EQ(VXIndexFTSearch(index, "fox", 1, 1, 0), kVXNoFTIndex);
}

TEST_F(FullTextTest, EveryQueryFormFindsItsDocumentsInScoreOrder) {
  ASSERT_EQ(VXDatabaseCreateFTIndex(db_, 200, 0, 0), kVXOk) << Message();
  VXHandle index = OpenView(db_, "By Subject");
  struct Case {
    const char* query;
    std::vector<std::string> subjects;  // in result order; empty: no match
  } cases[] = {
      {"quick", {"alpha", "delta"}},
      {"QUICK fox", {"alpha", "delta"}},
      {"\"brown fox\"", {"alpha"}},
      {"\"fox brown\"", {}},
      {"quick AND brown", {"alpha"}},
      {"bread OR dogs", {"beta", "gamma"}},
      {"fox NOT thinking", {"alpha"}},
      {"fox and not thinking", {"alpha"}},
      {"quick & !hunts", {"alpha"}},
      {"sleep | colours", {"beta", "epsilon"}},
      {"col*", {"epsilon"}},
      {"(bread OR hunts) AND brown", {"gamma"}},
      {"orange", {"alpha"}},  // a text-list item
      {"zebra", {}},
  };
  for (const Case& c : cases) {
    VXStatus s = VXIndexFTSearch(index, c.query, 1, 1, 0);
    if (c.subjects.empty()) {
      EXPECT_EQ(s, kVXNoMatches) << c.query;
      continue;
    }
    ASSERT_EQ(s, kVXOk) << c.query << ": " << Message();
    int32_t ft = 0;
    ASSERT_EQ(VXIndexGetProperty(index, kIndexPropFullText, &ft, 4), kVXOk);
    EXPECT_EQ(ft, 1);
    std::vector<std::string> got = Results(index);
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got, c.subjects) << c.query;
  }
  // Scores: 100 for the best, in descending order, within 1..100. "brown"
  // three times in gamma beats once in alpha.
  ASSERT_EQ(VXIndexFTSearch(index, "brown", 1, 1, 0), kVXOk);
  std::vector<int32_t> scores;
  EXPECT_EQ(Results(index, &scores), (std::vector<std::string>{"gamma", "alpha"}));
  ASSERT_EQ(scores.size(), 2u);
  EXPECT_EQ(scores[0], 100);
  EXPECT_GE(scores[1], 1);
  EXPECT_LT(scores[1], 100);
  // Clearing shows the view again.
  ASSERT_EQ(VXIndexFTSearch(index, "", kVXFTClear, 0, 0), kVXOk);
  int32_t ft = 1;
  ASSERT_EQ(VXIndexGetProperty(index, kIndexPropFullText, &ft, 4), kVXOk);
  EXPECT_EQ(ft, 0);
  EXPECT_EQ(Results(index), (std::vector<std::string>{"alpha", "beta", "delta", "epsilon", "gamma"}));
}

TEST_F(FullTextTest, ResultsAreTheDocumentsOfTheViewAndLeaveWithTheirDocuments) {
  ASSERT_EQ(VXDatabaseCreateFTIndex(db_, 200, 0, 0), kVXOk);
  VXNoteId folder = VXFolderLocateByName(db_, "Picks");
  VXHandle index = 0;
  ASSERT_EQ(VXIndexOpen(db_, &index), kVXOk);
  ASSERT_EQ(VXIndexOpenView(index, 0, folder, 0), kVXOk);
  ASSERT_EQ(VXIndexFTSearch(index, "quick OR colours", 1, 1, 0), kVXOk);
  EXPECT_EQ(Results(index).size(), 2u);  // alpha and epsilon; delta is not in the folder
  ASSERT_EQ(VXDocumentDelete(db_, ByUnid(db_, 1), 0), kVXOk);
  ASSERT_EQ(VXIndexRefresh(index), kVXOk);
  EXPECT_EQ(Results(index), (std::vector<std::string>{"epsilon"}));
}

TEST(FullTextQuery, TranslationAndRefusals) {
  struct Case {
    const char* query;
    const char* fts;  // nullptr: refused
  } cases[] = {
      {"fox", "\"fox\""},
      {"  quick   brown ", "\"quick\" AND \"brown\""},
      {"(a) (b)", "( \"a\" ) AND ( \"b\" )"},
      {"a (b OR c)", "\"a\" AND ( \"b\" OR \"c\" )"},
      {"\"brown fox\"", "\"brown fox\""},
      {"a OR b", "\"a\" OR \"b\""},
      {"a & !b", "\"a\" NOT \"b\""},
      {"a NOT b", "\"a\" NOT \"b\""},
      {"a OR NOT b", nullptr},
      {"col*", "\"col\"*"},
      {"say\"s", nullptr},  // an unclosed quote
      {"(a | b) c", "( \"a\" OR \"b\" ) AND \"c\""},
      {"AND fox", nullptr}, {"fox OR", nullptr}, {"NOT fox", nullptr}, {"\"open", nullptr},
      {"(fox", nullptr}, {"fox)", nullptr}, {"*", nullptr}, {"", nullptr}, {"()", nullptr},
  };
  for (const Case& c : cases) {
    std::string fts;
    VXStatus s = ledra::TranslateQuery(c.query, &fts);
    if (c.fts == nullptr) {
      EXPECT_EQ(s, kVXBadQuery) << c.query << " gave " << fts;
    } else {
      ASSERT_EQ(s, kVXOk) << c.query;
      EXPECT_EQ(fts, c.fts) << c.query;
    }
  }
  // Regression (found by the full-text query fuzz target): a query holding
  // a NUL byte was handed to FTS5, which refuses it.
  for (std::string query : {std::string("\0 0", 3), std::string("fox\0", 4)}) {
    std::string fts;
    EXPECT_EQ(ledra::TranslateQuery(query, &fts), kVXBadQuery);
    uint32_t code = 0, detail = 0;
    char text[kVXErrorTextSize];
    VXErrorFetch(&code, &detail, text);
    EXPECT_NE(std::string(text).find("cannot be read: it holds a NUL character"), std::string::npos)
        << text;
  }
}

}  // namespace

namespace {

// Words inside rich text are found like words of plain items.
TEST_F(ViewTest, FullTextFindsWordsInsideRichText) {
  VXHandle db = MakeFrom("rich.ldf", R"({
    "title": "Rich",
    "views": [{"name": "All", "columns": [{"title": "Subject", "item": "Subject", "sort": "ascending"}]}],
    "documents": [
      {"items": {"Subject": "plain", "Body": "nothing here"}},
      {"items": {"Subject": "rich", "Body": {"type": "richtext", "markup": "first {p}hidden treasure{br}map"}}}
    ]
  })");
  ASSERT_EQ(VXDatabaseCreateFTIndex(db, 200, 0, 0), kVXOk) << Message();
  VXHandle index = OpenView(db, "All");
  ASSERT_EQ(VXIndexFTSearch(index, "treasure AND map", 1, 1, 0), kVXOk) << Message();
  VXNoteId id = 0;
  VXRowInfo info;
  ASSERT_EQ(VXIndexNavigate(index, 1, 2, &id, &info), kVXOk);
  char cell[64];
  uint32_t n = 0;
  ASSERT_EQ(VXViewcellFetch(index, 1, cell, sizeof cell, &n), kVXOk);
  EXPECT_EQ(std::string(cell, n), "rich");
  EXPECT_NE(VXIndexNavigate(index, 0, 0, &id, &info), kVXOk);  // only that one
}

}  // namespace
