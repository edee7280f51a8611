// Reading records: every length is checked, so damaged items give a
// status and never a read outside the item.
#include <gtest/gtest.h>

#include "ledra/richtext/composite.h"
#include "ledra/richtext/item.h"
#include "ledra/richtext/raw_records.h"
#include "ledra/richtext/records.h"
#include "ledra/richtext/status.h"

namespace ledra::richtext {
namespace {

Bytes Record(uint16_t kind, const Bytes& content) {
  Bytes item;
  EXPECT_EQ(AppendRecord(&item, kind, content), kRtOk);
  return item;
}

Bytes Native(uint16_t signature, const Bytes& payload) {
  Bytes raw;
  EXPECT_EQ(BuildNativeRecord(signature, payload, &raw), kRtOk);
  return raw;
}

// Each item is damaged in one way. The whole-item check must fail with
// the status given, and so must every service that reads the records.
TEST(Records, DamagedItemsGiveAStatus) {
  Bytes text_run = {1, 0, 0, 10, 3, 0, 'a', 'b', 'c'};
  Bytes short_run = {1, 0, 0, 10, 4, 0, 'a', 'b', 'c'};  // says 4, has 3
  Bytes long_run = {1, 0, 0, 10, 2, 0, 'a', 'b', 'c'};   // says 2, has 3
  Bytes truncated_item = Record(kKindTextRun, text_run);
  truncated_item.pop_back();
  Bytes bad_action = Native(kSigAction, {1, 0, 0x88, 0, 0, 0, 200, 0, 0, 0, 0, 0, 'G', 'o'});
  Bytes action_bad_form = Native(kSigAction, {1, 0, 0x88, 0, 0, 0, 2, 0, 0, 0, 7, 0, 'G', 'o'});
  static const struct {
    const char* what;
    Bytes item;
  } kCases[] = {
      {"half a header", Bytes{5, 0, 3}},
      {"content past the end", Bytes{5, 0, 100, 0, 0, 0, 1, 2}},
      {"huge length", Bytes{5, 0, 0xff, 0xff, 0xff, 0xff, 1}},
      {"last record cut short", truncated_item},
      {"text run longer than it says", Record(kKindTextRun, long_run)},
      {"text run shorter than it says", Record(kKindTextRun, short_run)},
      {"text run without its font", Record(kKindTextRun, {1, 0})},
      {"paragraph style too short", Record(kKindParagraphStyle, Bytes(15, 0))},
      {"paragraph style too long", Record(kKindParagraphStyle, Bytes(17, 0))},
      {"style reference of one byte", Record(kKindStyleRef, {1})},
      {"paragraph break with content", Record(kKindParagraphBreak, {0})},
      {"hotspot end with content", Record(kKindHotspotEnd, {0})},
      {"link missing its UNIDs", Record(kKindLink, Bytes(20, 0))},
      {"field name past the end", Record(kKindField, {1, 0, 1, 0, 0, 10, 9, 0, 'x'})},
      {"hotspot text past the end", Record(kKindHotspotBegin, {3, 0, 0, 0, 0, 0, 5, 0})},
      {"button label past the end", Record(kKindButton, {2, 0, 'x'})},
      {"hide-when formula past the end", Record(kKindHideWhenFormula, {1, 0, 1, 0, 9, 0})},
      {"hide-when link too short", Record(kKindHideWhenLink, {1, 0, 1})},
      {"section title past the end", Record(kKindSection, {0, 0, 1, 0, 0, 10, 3, 0})},
      {"raw record shorter than its header", Record(kKindRaw, {0x99, 0, 6})},
      {"raw length not its size", Record(kKindRaw, {0xa5, 0, 9, 0, 0, 0})},
      {"image header too short", Record(kKindRaw, Native(kSigImageHeader, Bytes(10, 0)))},
      {"image header of another version", Record(kKindRaw, Native(kSigImageHeader, Bytes(18, 0)))},
      {"table header too short", Record(kKindRaw, Native(kSigTableHeader, {0, 0}))},
      {"table cell too long", Record(kKindRaw, Native(kSigTableCell, Bytes(19, 0)))},
      {"table end with a payload", Record(kKindRaw, Native(kSigTableEnd, {1}))},
      {"keyword layout too short", Record(kKindRaw, Native(kSigKeywordLayout, {0, 0}))},
      {"action title past the end", Record(kKindRaw, bad_action)},
      {"action formula of unknown form", Record(kKindRaw, action_bad_form)},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(ValidateItem(c.item), kRtCorrupt) << c.what;
    std::string text;
    Bytes target;
    int list = CompositeListText(c.item, "\n", &text);
    int copy = CompositeCopy(c.item, &target);
    // Services read only what they need: an item that indexes may still
    // copy, but a damaged record they decode must be reported.
    std::vector<RecordView> records;
    if (ParseItem(c.item, &records) != kRtOk) {
      EXPECT_EQ(list, kRtCorrupt) << c.what;
      EXPECT_EQ(copy, kRtCorrupt) << c.what;
      EXPECT_TRUE(target.empty()) << c.what;
    }
  }
}

TEST(Records, EveryKindRoundTrips) {
  Bytes b;
  ParagraphStyle p{9, kHideWhenEditing, kListNumbered, kAlignCentre, 2, 3, 1440, 720};
  ASSERT_EQ(EncodeParagraphStyle(p, &b), kRtOk);
  EXPECT_EQ(b.size(), 16u);
  ParagraphStyle p2;
  ASSERT_EQ(DecodeParagraphStyle(b, &p2), kRtOk);
  EXPECT_EQ(p, p2);

  Link l;
  l.link_kind = kLinkView;
  l.replica_id = {1, 2, 3, 4, 5, 6, 7, 8};
  l.view_unid[15] = 0xee;
  l.text = std::string("comment\0hint", 12);
  ASSERT_EQ(EncodeLink(l, &b), kRtOk);
  Link l2;
  ASSERT_EQ(DecodeLink(b, &l2), kRtOk);
  EXPECT_EQ(l2.replica_id, l.replica_id);
  EXPECT_EQ(l2.view_unid, l.view_unid);
  EXPECT_EQ(l2.text, l.text);

  TableCell cell{3, 100, 2000, 1, kCellHasBackground | kCellNotShown, 2, 200};
  ASSERT_EQ(WriteTableCell(cell, &b), kRtOk);
  RawStructure s;
  ASSERT_EQ(ReadStructure(kConvTableCell, b, &s), kRtOk);
  EXPECT_EQ(std::get<TableCell>(s), cell);
  EXPECT_EQ(ReadStructure(kConvTableHeader, b, &s), kRtWrongKind);
  EXPECT_EQ(ReadStructure(0x155, b, &s), kRtUnknownConversion);

  TableHeader th{60, 90, kTableFitsWindow};
  ASSERT_EQ(WriteTableHeader(th, &b), kRtOk);
  ASSERT_EQ(ReadStructure(kConvTableHeader, b, &s), kRtOk);
  EXPECT_EQ(std::get<TableHeader>(s), th);

  ImageHeader ih{1500, 750, 12345, 2};
  ASSERT_EQ(WriteImageHeader(ih, &b), kRtOk);
  ASSERT_EQ(ReadStructure(kConvImageHeader, b, &s), kRtOk);
  EXPECT_EQ(std::get<ImageHeader>(s), ih);
}

// The formula of an action starts at an even offset of the native record
// whether the title's length is odd or even.
TEST(Records, ActionFormulaAtAnEvenOffset) {
  for (const char* title : {"Go", "Odd"}) {
    ActionRecord a;
    a.flags = kActionShown | kActionShowReading;
    a.title = title;
    a.formula.assign({'@', 'T', 'r', 'u', 'e'});
    Bytes raw;
    ASSERT_EQ(WriteAction(a, &raw), kRtOk);
    size_t formula_at = raw.size() - a.formula.size();
    EXPECT_EQ(formula_at % 2, 0u) << title;
    RawStructure s;
    ASSERT_EQ(ReadStructure(kConvAction, raw, &s), kRtOk);
    EXPECT_EQ(std::get<ActionRecord>(s), a);
    std::string text;
    ASSERT_EQ(TextAfterRecord(raw, &text), kRtOk);
    EXPECT_EQ(text, "@True");
  }
  std::string text;
  EXPECT_EQ(TextAfterRecord(Native(kSigTableEnd, {}), &text), kRtWrongKind);
}

TEST(Records, TextsLongerThanTheirFieldAreRefused) {
  Bytes b;
  EXPECT_EQ(EncodeTextRun(TextRun{FontId{}, std::string(65536, 'x')}, &b), kRtTooLarge);
  EXPECT_EQ(EncodeTextRun(TextRun{FontId{}, std::string(65535, 'x')}, &b), kRtOk);
  ActionRecord a;
  a.title = std::string(65536, 't');
  EXPECT_EQ(WriteAction(a, &b), kRtTooLarge);
}

}  // namespace
}  // namespace ledra::richtext
