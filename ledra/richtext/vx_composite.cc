// Composite handles over document items.
#include "ledra/richtext/vx_composite.h"

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ledra/handles.h"
#include "ledra/last_error.h"
#include "ledra/objects.h"
#include "ledra/richtext/composite.h"
#include "ledra/richtext/item.h"
#include "ledra/richtext/status.h"
#include "ledra/vxapi.h"

namespace ledra {
namespace {

using richtext::Bytes;
using richtext::kRtOk;

struct Composite {
  std::mutex mutex;
  VXHandle document = 0;  // 0: bound to no document
  std::string item_name;
  Bytes item;                                 // guarded by mutex
  std::vector<richtext::RecordView> records;  // index into item, guarded by mutex
};

VXStatus RtFail(int status, const std::string& what) {
  return Fail(static_cast<VXStatus>(status), what + ": " + richtext::RtStatusText(status));
}

VXStatus GetComposite(VXHandle h, std::shared_ptr<Composite>* out) {
  *out = Lookup<Composite>(h, HandleKind::kComposite);
  if (!*out) return Fail(kVXBadHandle, "Composite handle " + std::to_string(h) + " is not open");
  return kVXOk;
}

std::string NameOf(const char* name) {
  return name != nullptr ? name : "";
}

// Reads an item of a document as rich-text bytes; *found is false (and
// *item empty) when the document has no such item.
VXStatus ReadRichItem(VXHandle document, const std::string& name, Bytes* item, bool* found) {
  item->clear();
  *found = false;
  uint16_t type = 0;
  uint32_t length = 0, flags = 0;
  if (VXItemGetInfo(document, name.c_str(), &type, &length, &flags) != kVXOk) {
    const LastError& e = LastFailure();
    return e.code == kVXItemNotFound ? kVXOk : e.code;
  }
  *found = true;
  const void* p = nullptr;
  if (type == kVXTypeRichText) {
    if (VXStatus s = VXItemGetPointer(document, name.c_str(), 0, &p, &length); s != kVXOk) return s;
    item->assign(static_cast<const uint8_t*>(p), static_cast<const uint8_t*>(p) + length);
  } else {
    if (VXStatus s = VXItemGetPointer(document, name.c_str(), kVXTypeText, &p, &length);
        s != kVXOk) {
      return s;
    }
    std::string_view text(static_cast<const char*>(p), length);
    if (int s = richtext::TextToRichText(text, item); s != kRtOk) return RtFail(s, "Item " + name);
  }
  if (int s = richtext::ValidateItem(*item); s != kRtOk) return RtFail(s, "Item " + name);
  return kVXOk;
}

// Re-indexes after a change and writes the item back to its document.
VXStatus Store(Composite& c, Bytes item) {
  std::vector<richtext::RecordView> records;
  if (int s = richtext::ParseItem(item, &records); s != kRtOk) return RtFail(s, "Composite");
  if (c.document != 0) {
    if (VXStatus s = VXItemPut(c.document, c.item_name.c_str(), 0, 0, kVXTypeRichText, item.data(),
                               static_cast<uint32_t>(item.size()));
        s != kVXOk) {
      return s;
    }
  }
  c.item = std::move(item);
  // The views point into the vector they were made over; index anew.
  if (int s = richtext::ParseItem(c.item, &c.records); s != kRtOk) return RtFail(s, "Composite");
  return kVXOk;
}

// The body of a form note, for VXCompositeConvertDocument. Forms are design
// notes, so the design guard of the database is lowered around the open.
VXStatus FormBody(VXHandle document, const std::string& form_name, Bytes* body) {
  VXHandle db = 0;
  if (VXStatus s = VXDocumentGetProperty(document, kDocPropDatabase, &db, sizeof db); s != kVXOk) {
    return s;
  }
  VXNoteId form = 0;
  if (form_name.empty()) {
    if (VXStatus s = VXDocumentGetProperty(document, kDocPropForm, &form, sizeof form);
        s != kVXOk) {
      return s;
    }
  } else {
    form = VXFormLocateByName(db, form_name.c_str());
  }
  if (form == 0) return Fail(kVXNoSuchForm, "Form " + form_name + " not found");
  int32_t guard = 1, open = 0;
  if (VXStatus s = VXDatabaseGetProperty(db, kDbPropDesignGuard, &guard, sizeof guard);
      s != kVXOk) {
    return s;
  }
  (void)VXDatabaseSetProperty(db, kDbPropDesignGuard, &open);
  VXHandle note = 0;
  VXStatus s = VXDocumentOpen(db, form, kVXDocOpenReadOnly, &note);
  (void)VXDatabaseSetProperty(db, kDbPropDesignGuard, &guard);
  if (s != kVXOk) return s;
  bool found = false;
  s = ReadRichItem(note, "$Body", body, &found);
  VXDocumentClose(note, kVXCloseDiscard);
  return s;
}

}  // namespace
}  // namespace ledra

using namespace ledra;

VXStatus VXCompositeCreate(VXHandle document, const char* item_name, VXHandle* composite) {
  if (composite == nullptr)
    return Fail(kVXBadArgument, "Composite create: no place for the handle");
  auto c = std::make_shared<Composite>();
  c->document = document;
  c->item_name = NameOf(item_name);
  if (document != 0) {
    if (c->item_name.empty()) return Fail(kVXBadArgument, "Composite create: no item name");
    bool found = false;
    if (VXStatus s = ReadRichItem(document, c->item_name, &c->item, &found); s != kVXOk) return s;
  }
  if (int s = richtext::ParseItem(c->item, &c->records); s != kRtOk) return RtFail(s, "Composite");
  *composite = RegisterHandle(HandleKind::kComposite, c);
  return kVXOk;
}

VXStatus VXCompositeClose(VXHandle composite) {
  if (!ReleaseHandle(composite, HandleKind::kComposite)) {
    return Fail(kVXBadHandle, "Composite handle " + std::to_string(composite) + " is not open");
  }
  return kVXOk;
}

VXStatus VXCompositeCopy(VXHandle source, const char* item_name, VXHandle composite) {
  std::shared_ptr<Composite> c;
  if (VXStatus s = GetComposite(composite, &c); s != kVXOk) return s;
  Bytes from;
  bool found = false;
  if (VXStatus s = ReadRichItem(source, NameOf(item_name), &from, &found); s != kVXOk) return s;
  if (!found) return Fail(kVXItemNotFound, "Item " + NameOf(item_name) + " not found");
  std::lock_guard<std::mutex> lock(c->mutex);
  Bytes item = c->item;
  if (int s = richtext::CompositeCopy(from, &item); s != kRtOk) return RtFail(s, "Composite copy");
  return Store(*c, std::move(item));
}

VXStatus VXCompositeCopySubset(VXHandle source, const char* item_name, uint32_t first,
                               uint32_t last, VXHandle composite) {
  std::shared_ptr<Composite> c;
  if (VXStatus s = GetComposite(composite, &c); s != kVXOk) return s;
  Bytes from;
  bool found = false;
  if (VXStatus s = ReadRichItem(source, NameOf(item_name), &from, &found); s != kVXOk) return s;
  if (!found) return Fail(kVXItemNotFound, "Item " + NameOf(item_name) + " not found");
  std::lock_guard<std::mutex> lock(c->mutex);
  Bytes item = c->item;
  if (int s = richtext::CompositeCopySubset(from, first, last, &item); s != kRtOk) {
    return RtFail(
        s, "Composite copy of records " + std::to_string(first) + " to " + std::to_string(last));
  }
  return Store(*c, std::move(item));
}

VXStatus VXCompositeConvertDocument(VXHandle document, const char* form_name, VXHandle composite) {
  std::shared_ptr<Composite> c;
  if (VXStatus s = GetComposite(composite, &c); s != kVXOk) return s;
  Bytes body;
  if (VXStatus s = FormBody(document, NameOf(form_name), &body); s != kVXOk) return s;
  VXStatus failure = kVXOk;
  richtext::FieldValueSource values = [&](std::string_view name, richtext::FieldValue* v) {
    std::string n(name);
    uint16_t type = 0;
    uint32_t length = 0, flags = 0;
    if (VXItemGetInfo(document, n.c_str(), &type, &length, &flags) != kVXOk) return false;
    bool found = false;
    if (type == kVXTypeRichText) {
      v->is_rich_text = true;
      if (VXStatus s = ReadRichItem(document, n, &v->rich_text, &found); s != kVXOk) failure = s;
      return found && failure == kVXOk;
    }
    const void* p = nullptr;
    if (VXStatus s = VXItemGetPointer(document, n.c_str(), kVXTypeText, &p, &length); s != kVXOk) {
      return false;  // a value with no text form shows nothing
    }
    v->text.assign(static_cast<const char*>(p), length);
    return true;
  };
  std::lock_guard<std::mutex> lock(c->mutex);
  Bytes item = c->item;
  int s = richtext::CompositeConvertDocument(body, values, &item);
  if (failure != kVXOk) return failure;
  if (s != kRtOk) return RtFail(s, "Document conversion");
  return Store(*c, std::move(item));
}

VXStatus VXCompositeListText(VXHandle composite, char* text, uint32_t size, uint32_t* length) {
  std::shared_ptr<Composite> c;
  if (VXStatus s = GetComposite(composite, &c); s != kVXOk) return s;
  if (text == nullptr || size == 0) return Fail(kVXBadArgument, "Composite text: no buffer given");
  std::string words;
  {
    std::lock_guard<std::mutex> lock(c->mutex);
    if (int s = richtext::CompositeListText(c->item, "\n", &words); s != kRtOk) {
      return RtFail(s, "Composite text");
    }
  }
  uint32_t n = CopyText(words, text, size);
  if (length != nullptr) *length = n;
  return kVXOk;
}

VXStatus VXCDRecordCount(VXHandle composite, uint32_t* count) {
  std::shared_ptr<Composite> c;
  if (VXStatus s = GetComposite(composite, &c); s != kVXOk) return s;
  if (count == nullptr) return Fail(kVXBadArgument, "Record count: no place for the count");
  std::lock_guard<std::mutex> lock(c->mutex);
  *count = static_cast<uint32_t>(c->records.size());
  return kVXOk;
}

VXStatus VXCDRecordGetInfo(VXHandle composite, uint32_t number, uint16_t* kind, uint32_t* length,
                           uint16_t* signature) {
  std::shared_ptr<Composite> c;
  if (VXStatus s = GetComposite(composite, &c); s != kVXOk) return s;
  std::lock_guard<std::mutex> lock(c->mutex);
  richtext::RecordInfo info;
  if (int s = richtext::CDRecordGetInfo(c->records, number, &info); s != kRtOk) {
    return RtFail(s, "Record " + std::to_string(number));
  }
  if (kind != nullptr) *kind = info.kind;
  if (length != nullptr) *length = info.length;
  if (signature != nullptr) *signature = info.signature;
  return kVXOk;
}

VXStatus VXCDRecordGetPointer(VXHandle composite, uint32_t number, const void** pointer,
                              uint32_t* length) {
  std::shared_ptr<Composite> c;
  if (VXStatus s = GetComposite(composite, &c); s != kVXOk) return s;
  if (pointer == nullptr) return Fail(kVXBadArgument, "Record pointer: no place for the pointer");
  std::lock_guard<std::mutex> lock(c->mutex);
  if (number < 1 || number > c->records.size()) {
    return RtFail(richtext::kRtNoSuchRecord, "Record " + std::to_string(number));
  }
  const richtext::RecordView& r = c->records[number - 1];
  *pointer = r.content.data();
  if (length != nullptr) *length = static_cast<uint32_t>(r.content.size());
  return kVXOk;
}

VXStatus VXCDRecordUpdate(VXHandle composite, uint32_t number, const void* content,
                          uint32_t length) {
  std::shared_ptr<Composite> c;
  if (VXStatus s = GetComposite(composite, &c); s != kVXOk) return s;
  if (content == nullptr && length != 0) return Fail(kVXBadArgument, "Record update: no content");
  richtext::ByteSpan bytes(static_cast<const uint8_t*>(content), length);
  std::lock_guard<std::mutex> lock(c->mutex);
  Bytes item = c->item;
  if (int s = richtext::CDRecordUpdate(&item, number, bytes); s != kRtOk) {
    return RtFail(s, "Record " + std::to_string(number));
  }
  return Store(*c, std::move(item));
}

VXStatus LCReadStructure(uint16_t conversion_code, const void* record, uint32_t length,
                         richtext::RawStructure* out) {
  if ((record == nullptr && length != 0) || out == nullptr) {
    return Fail(kVXBadArgument, "Record structure: no record or no place for it");
  }
  richtext::ByteSpan bytes(static_cast<const uint8_t*>(record), length);
  if (int s = richtext::ReadStructure(conversion_code, bytes, out); s != kRtOk) {
    return RtFail(s, "Record structure " + std::to_string(conversion_code));
  }
  return kVXOk;
}

VXStatus LCRecordText(const void* record, uint32_t length, VXHandle* memory,
                      uint32_t* text_length) {
  if ((record == nullptr && length != 0) || memory == nullptr) {
    return Fail(kVXBadArgument, "Record text: no record or no place for the handle");
  }
  std::string text;
  richtext::ByteSpan bytes(static_cast<const uint8_t*>(record), length);
  if (int s = richtext::TextAfterRecord(bytes, &text); s != kRtOk) return RtFail(s, "Record text");
  *memory = LCMemAlloc(text.data(), static_cast<uint32_t>(text.size()));
  if (text_length != nullptr) *text_length = static_cast<uint32_t>(text.size());
  return kVXOk;
}

const richtext::ImageAddin* LCLoadImageAddin() {
  return richtext::LoadImageAddin();
}
