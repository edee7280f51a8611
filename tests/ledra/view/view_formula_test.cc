// Selection and column formulas of views on real documents, through the
// formula language: which documents a view selects, what a formula column
// shows, narrowing a cursor with VXIndexSearch, a document leaving the
// selection at a refresh, and formulas that do not compile.
#include "tests/ledra/view/view_fixture.h"

namespace {

constexpr char kDesign[] = R"json({
  "title": "Formulas",
  "views": [
    {"name": "Big Topics", "selection": "SELECT Form = \"Topic\" & Count > 2",
     "columns": [{"title": "Subject", "item": "Subject", "sort": "ascending"},
                 {"title": "Label", "formula": "@UpperCase(Subject) + \" (\" + @Text(Count) + \")\""}]},
    {"name": "By Size", "selection": "SELECT Form = \"Topic\"",
     "columns": [{"title": "Size", "formula": "@If(Count > 5; \"large\"; \"small\")", "categorized": true},
                 {"title": "Subject", "item": "Subject", "sort": "ascending"}]},
    {"name": "Broken", "selection": "SELECT Form = ", "columns": []}
  ],
  "documents": [
    {"unid": "1g1g1g1g", "items": {"Form": "Topic", "Subject": "alpha", "Count": 3}},
    {"unid": "2g2g2g2g", "items": {"Form": "Topic", "Subject": "beta", "Count": 10}},
    {"unid": "3g3g3g3g", "items": {"Form": "Topic", "Subject": "gamma", "Count": 1}},
    {"unid": "4g4g4g4g", "items": {"Form": "Note", "Subject": "delta", "Count": 99}}
  ]
})json";

class ViewFormulaTest : public ViewTest {
 protected:
  void SetUp() override {
    ViewTest::SetUp();
    db_ = MakeFrom("formulas.ldf", kDesign);
  }
  VXHandle db_ = 0;
};

TEST_F(ViewFormulaTest, SelectionAndColumnFormulasShapeTheView) {
  VXHandle index = OpenView(db_, "Big Topics");
  EXPECT_EQ(Rows(index), (std::vector<std::string>{"1 0 " + std::to_string(ByUnid(db_, 1)) + " alpha|ALPHA (3)",
                                                    "2 0 " + std::to_string(ByUnid(db_, 2)) + " beta|BETA (10)"}));
  // A categorised formula column.
  VXHandle by_size = OpenView(db_, "By Size");
  std::vector<std::string> rows = Rows(by_size);
  ASSERT_EQ(rows.size(), 5u) << testing::PrintToString(rows);
  EXPECT_EQ(rows[0], "1 0 -1 large|");
  EXPECT_EQ(rows[2], "2 0 -1 small|");
  // gamma drops below the threshold's other side, delta becomes a Topic.
  VXHandle doc = 0;
  ASSERT_EQ(VXDocumentOpen(db_, ByUnid(db_, 1), 0, &doc), kVXOk);
  double one = 1;
  ASSERT_EQ(VXItemPut(doc, "Count", 0, 0, kVXTypeNumber, &one, 8), kVXOk);
  ASSERT_EQ(VXDocumentClose(doc, 0x10000), kVXOk);
  ASSERT_EQ(VXDocumentOpen(db_, ByUnid(db_, 4), 0, &doc), kVXOk);
  ASSERT_EQ(VXItemPut(doc, "Form", 0, 0, kVXTypeText, "Topic", 0), kVXOk);
  ASSERT_EQ(VXDocumentClose(doc, 0x10000), kVXOk);
  ASSERT_EQ(VXIndexRefresh(index), kVXOk);
  EXPECT_EQ(Rows(index), (std::vector<std::string>{"1 0 " + std::to_string(ByUnid(db_, 2)) + " beta|BETA (10)",
                                                    "2 0 " + std::to_string(ByUnid(db_, 4)) + " delta|DELTA (99)"}));
}

TEST_F(ViewFormulaTest, SearchNarrowsACursorAndBadFormulasFailWithAMessage) {
  VXHandle index = 0;
  ASSERT_EQ(VXIndexOpen(db_, &index), kVXOk);
  ASSERT_EQ(VXIndexSearch(index, "SELECT Subject = \"beta\" | Count = 1", 0, 0), kVXOk) << Message();
  uint32_t count = 0;
  ASSERT_EQ(VXIndexGetCount(index, &count), kVXOk);
  EXPECT_EQ(count, 2u);
  char formula[128];
  ASSERT_EQ(VXIndexGetProperty(index, kIndexPropFormula, formula, sizeof formula), kVXOk);
  EXPECT_STREQ(formula, "SELECT Subject = \"beta\" | Count = 1");
  // Writing property 11 narrows the same way.
  ASSERT_EQ(VXIndexSetProperty(index, kIndexPropFormula, "SELECT Form = \"Note\""), kVXOk);
  ASSERT_EQ(VXIndexGetCount(index, &count), kVXOk);
  EXPECT_EQ(count, 1u);
  EXPECT_EQ(VXIndexSearch(index, "SELECT (", 0, 0), kVXBadFormula);
  EXPECT_NE(Message().find("is not valid"), std::string::npos) << Message();
  VXNoteId broken = VXViewLocateByName(db_, "Broken");
  ASSERT_NE(broken, 0u);
  EXPECT_EQ(VXIndexOpenView(index, 0, broken, 0), kVXBadFormula);
}

}  // namespace
