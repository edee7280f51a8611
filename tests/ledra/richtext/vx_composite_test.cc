// The composite calls over real documents in a real database: text stored
// into a rich-text field and its style written back, copies between
// documents, a document converted through its form, record access, and
// failures reported through VXErrorFetch.
#include "ledra/richtext/vx_composite.h"

#include "ledra/richtext/markup.h"
#include "ledra/richtext/records.h"
#include "ledra/richtext/status.h"
#include "tests/ledra/ledra_fixture.h"

namespace {

using namespace ledra::richtext;

Bytes Markup(std::string_view markup) {
  Bytes item;
  MarkupError error;
  EXPECT_EQ(ParseMarkup(markup, {}, &item, &error), kRtOk) << error.message;
  return item;
}

std::string Words(VXHandle composite) {
  char text[1024];
  uint32_t n = 0;
  EXPECT_EQ(VXCompositeListText(composite, text, sizeof text, &n), kVXOk);
  return std::string(text, n);
}

class CompositeCallsTest : public LedraTest {
 protected:
  VXHandle NewDoc(VXHandle db) {
    VXHandle doc = 0;
    EXPECT_EQ(VXDocumentCreate(db, "Memo", &doc), kVXOk);
    return doc;
  }
  void PutRich(VXHandle doc, const char* name, const Bytes& item) {
    ASSERT_EQ(VXItemPut(doc, name, 0, 0, kVXTypeRichText, item.data(),
                        static_cast<uint32_t>(item.size())),
              kVXOk);
  }
};

// What a browser edit does: the text goes in as type 2, is read back as
// rich text, and its first paragraph style is written back.
TEST_F(CompositeCallsTest, TextIntoARichTextFieldAndItsStyleWrittenBack) {
  VXHandle db = Make("rt.ldf");
  VXHandle doc = NewDoc(db);
  ASSERT_EQ(VXItemPut(doc, "Body", 0, 0, kVXTypeText, "Hello\r\nworld", 0), kVXOk);
  VXHandle c = 0;
  ASSERT_EQ(VXCompositeCreate(doc, "Body", &c), kVXOk);
  uint32_t count = 0;
  ASSERT_EQ(VXCDRecordCount(c, &count), kVXOk);
  ASSERT_EQ(count, 3u);
  uint16_t kinds[3] = {};
  for (uint32_t i = 1; i <= count; ++i) {
    ASSERT_EQ(VXCDRecordGetInfo(c, i, &kinds[i - 1], nullptr, nullptr), kVXOk);
  }
  EXPECT_EQ(kinds[0], kKindParagraphStyle);
  EXPECT_EQ(kinds[1], kKindStyleRef);
  EXPECT_EQ(kinds[2], kKindTextRun);

  const void* p = nullptr;
  uint32_t length = 0;
  ASSERT_EQ(VXCDRecordGetPointer(c, 1, &p, &length), kVXOk);
  ParagraphStyle style;
  ASSERT_EQ(DecodeParagraphStyle(ByteSpan(static_cast<const uint8_t*>(p), length), &style), kRtOk);
  style.space_after = 1;
  Bytes content;
  ASSERT_EQ(EncodeParagraphStyle(style, &content), kRtOk);
  ASSERT_EQ(VXCDRecordUpdate(c, 1, content.data(), static_cast<uint32_t>(content.size())), kVXOk);
  EXPECT_EQ(Words(c), "Hello\nworld");
  ASSERT_EQ(VXCompositeClose(c), kVXOk);

  // The item is rich text now, and survives the save.
  uint16_t type = 0;
  uint32_t flags = 0;
  ASSERT_EQ(VXItemGetInfo(doc, "Body", &type, &length, &flags), kVXOk);
  EXPECT_EQ(type, kVXTypeRichText);
  ASSERT_EQ(VXDocumentSave(doc, 0x10000), kVXOk);
  VXNoteId id = 0;
  ASSERT_EQ(VXDocumentGetProperty(doc, kDocPropNoteId, &id, sizeof id), kVXOk);
  VXDocumentClose(doc, 0);
  ASSERT_EQ(VXDocumentOpen(db, id, 0, &doc), kVXOk);
  ASSERT_EQ(VXCompositeCreate(doc, "Body", &c), kVXOk);
  ASSERT_EQ(VXCDRecordGetPointer(c, 1, &p, &length), kVXOk);
  ASSERT_EQ(DecodeParagraphStyle(ByteSpan(static_cast<const uint8_t*>(p), length), &style), kRtOk);
  EXPECT_EQ(style.space_after, 1);
  VXCompositeClose(c);
  VXDocumentClose(doc, 0);
  VXDatabaseClose(db, 0);
}

TEST_F(CompositeCallsTest, CopiesBetweenDocuments) {
  VXHandle db = Make("copy.ldf");
  VXHandle a = NewDoc(db), b = NewDoc(db);
  PutRich(a, "Body", Markup("{pardef 1 align=center}{use 1}first{p}second{p}third"));
  ASSERT_EQ(VXItemPut(b, "Body", 0, 0, kVXTypeText, "start", 0), kVXOk);
  VXHandle c = 0;
  ASSERT_EQ(VXCompositeCreate(b, "Body", &c), kVXOk);
  ASSERT_EQ(VXCompositeCopy(a, "Body", c), kVXOk);
  EXPECT_EQ(Words(c), "startfirst\nsecond\nthird");
  // Records 2 and 3 (the reference to style 1 and "first") bring style 1.
  ASSERT_EQ(VXCompositeCopySubset(a, "Body", 2, 3, c), kVXOk);
  EXPECT_EQ(Words(c), "startfirst\nsecond\nthirdfirst");
  uint32_t count = 0;
  ASSERT_EQ(VXCDRecordCount(c, &count), kVXOk);
  EXPECT_EQ(count, 3u + 7u + 3u);
  EXPECT_EQ(VXCompositeCopy(a, "Nothing", c), kVXItemNotFound);
  EXPECT_EQ(VXCompositeCopySubset(a, "Body", 9, 12, c), static_cast<VXStatus>(kRtNoSuchRecord));
  EXPECT_NE(Message().find("records 9 to 12"), std::string::npos) << Message();
  VXCompositeClose(c);

  // An empty item is created by the first change.
  ASSERT_EQ(VXCompositeCreate(b, "Fresh", &c), kVXOk);
  ASSERT_EQ(VXCDRecordCount(c, &count), kVXOk);
  EXPECT_EQ(count, 0u);
  ASSERT_EQ(VXCompositeCopy(a, "Body", c), kVXOk);
  uint16_t type = 0;
  uint32_t length = 0, flags = 0;
  ASSERT_EQ(VXItemGetInfo(b, "Fresh", &type, &length, &flags), kVXOk);
  EXPECT_EQ(type, kVXTypeRichText);
  VXCompositeClose(c);
  VXDocumentClose(a, kVXCloseDiscard);
  VXDocumentClose(b, kVXCloseDiscard);
  VXDatabaseClose(db, 0);
}

TEST_F(CompositeCallsTest, ConvertDocumentThroughItsForm) {
  VXHandle db = Make("form.ldf");
  VXHandle form = 0;
  ASSERT_EQ(VXDocumentCreate(db, "", &form), kVXOk);
  int32_t cls = kVXClassForm;
  ASSERT_EQ(VXDocumentSetProperty(form, kDocPropClass, &cls), kVXOk);
  ASSERT_EQ(VXItemPut(form, "$TITLE", 0, 0, kVXTypeText, "Memo", 0), kVXOk);
  PutRich(form, "$Body",
          Markup("{pardef 1}{use 1}To: {field \"SendTo\" type=1}{p}{field \"Body\" type=7}"));
  ASSERT_EQ(VXDocumentClose(form, kVXCloseKeep), kVXOk);

  VXHandle doc = NewDoc(db);
  ASSERT_EQ(VXItemPut(doc, "SendTo", 0, 0, kVXTypeText, "Ann", 0), kVXOk);
  PutRich(doc, "Body", Markup("{pardef 1}{use 1}{font b}Agenda"));
  VXHandle c = 0;
  ASSERT_EQ(VXCompositeCreate(0, nullptr, &c), kVXOk);
  ASSERT_EQ(VXCompositeConvertDocument(doc, "", c), kVXOk) << Message();
  EXPECT_EQ(Words(c), "To: Ann\nAgenda");
  // The design guard is as it was.
  int32_t guard = 0;
  ASSERT_EQ(VXDatabaseGetProperty(db, kDbPropDesignGuard, &guard, sizeof guard), kVXOk);
  EXPECT_EQ(guard, 1);
  EXPECT_EQ(VXCompositeConvertDocument(doc, "No such form", c), kVXNoSuchForm);
  VXCompositeClose(c);
  VXDocumentClose(doc, kVXCloseDiscard);
  VXDatabaseClose(db, 0);
}

TEST_F(CompositeCallsTest, FailuresAreStatuses) {
  VXHandle db = Make("bad.ldf");
  VXHandle doc = NewDoc(db);
  PutRich(doc, "Damaged", Bytes{5, 0, 40, 0, 0, 0, 1});
  VXHandle c = 0;
  EXPECT_EQ(VXCompositeCreate(doc, "Damaged", &c), static_cast<VXStatus>(kRtCorrupt));
  EXPECT_NE(Message().find("damaged"), std::string::npos);
  EXPECT_EQ(VXCompositeCreate(doc, "", &c), kVXBadArgument);

  PutRich(doc, "Body", Markup("{pardef 1}{use 1}text"));
  ASSERT_EQ(VXCompositeCreate(doc, "Body", &c), kVXOk);
  uint16_t kind = 0;
  EXPECT_EQ(VXCDRecordGetInfo(c, 4, &kind, nullptr, nullptr),
            static_cast<VXStatus>(kRtNoSuchRecord));
  const uint8_t junk[] = {1, 2, 3};
  EXPECT_EQ(VXCDRecordUpdate(c, 3, junk, sizeof junk), static_cast<VXStatus>(kRtCorrupt));
  EXPECT_EQ(Words(c), "text");
  char small[3];
  uint32_t n = 0;
  ASSERT_EQ(VXCompositeListText(c, small, sizeof small, &n), kVXOk);
  EXPECT_EQ(std::string(small, n), "te");
  ASSERT_EQ(VXCompositeClose(c), kVXOk);
  EXPECT_EQ(VXCompositeClose(c), kVXBadHandle);
  EXPECT_EQ(VXCDRecordCount(c, &n), kVXBadHandle);
  VXDocumentClose(doc, kVXCloseDiscard);
  VXDatabaseClose(db, 0);
}

TEST_F(CompositeCallsTest, LedcoreStructureAndRecordText) {
  Bytes item = Markup("{action \"Go\" read shown formula=\"@Command([Compose]; \\\"T\\\")\"}");
  const uint8_t* raw = item.data() + 6;  // past the record header
  uint32_t raw_length = static_cast<uint32_t>(item.size() - 6);
  RawStructure s;
  ASSERT_EQ(LCReadStructure(kConvAction, raw, raw_length, &s), kVXOk);
  EXPECT_EQ(std::get<ActionRecord>(s).title, "Go");
  EXPECT_EQ(LCReadStructure(0x999, raw, raw_length, &s),
            static_cast<VXStatus>(kRtUnknownConversion));
  VXHandle memory = 0;
  uint32_t length = 0;
  ASSERT_EQ(LCRecordText(raw, raw_length, &memory, &length), kVXOk);
  EXPECT_EQ(std::string(static_cast<const char*>(LCMemLock(memory)), length),
            "@Command([Compose]; \"T\")");
  LCMemUnlock(memory);
  LCMemFree(memory);
  EXPECT_EQ(LCRecordText(raw, raw_length - 1, &memory, &length), static_cast<VXStatus>(kRtCorrupt));
  EXPECT_NE(LCLoadImageAddin(), nullptr);
}

}  // namespace
