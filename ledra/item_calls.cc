// The item calls and the attachment calls of a document.
#include <sys/stat.h>

#include <cstring>
#include <fstream>
#include <sstream>

#include "ledra/objects.h"
#include "ledra/value_convert.h"
#include "ledra/vxapi.h"

namespace ledra {
namespace {

std::string Name(const char* name, uint32_t name_length) {
  if (name == nullptr) return "";
  return name_length != 0 ? std::string(name, strnlen(name, name_length)) : std::string(name);
}

VXStatus CheckName(const std::string& name) {
  if (name.empty()) return Fail(kVXBadArgument, "An item needs a name");
  if (name.size() > 0xFFFF) return Fail(kVXBadArgument, "Item name too long (" + std::to_string(name.size()) + " bytes)");
  return kVXOk;
}

VXStatus ItemMissing(const Document& doc, const std::string& name) {
  return Fail(kVXItemNotFound, "Item " + name + " not found in document " + std::to_string(doc.note.id) + " of " +
                                   DatabaseLabel(doc.database->server, doc.database->path));
}

// Reads the item converted to type; used by Fetch, GetLength and GetPointer.
VXStatus Converted(Document& doc, const char* name, uint16_t type, std::string* value, uint16_t* actual) {
  std::string n = Name(name, 0);
  const Item* item = doc.note.FindItem(n);
  if (item == nullptr) return ItemMissing(doc, n);
  if (actual != nullptr) *actual = type != 0 ? type : item->type;
  return FromStored(*item, type, value);
}

VXStatus ReadFile(const char* path, std::string* out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return Fail(kVXFileError, std::string("File ") + path + " cannot be read: " + std::strerror(errno));
  std::ostringstream s;
  s << in.rdbuf();
  if (in.bad()) return Fail(kVXFileError, std::string("File ") + path + " cannot be read completely");
  *out = s.str();
  return kVXOk;
}

}  // namespace
}  // namespace ledra

using namespace ledra;

VXStatus VXItemPut(VXHandle document, const char* name, uint32_t flags, uint32_t name_length, uint16_t type,
                   const void* value, uint32_t length) {
  std::shared_ptr<Document> doc;
  if (VXStatus s = GetDocument(document, &doc); s != kVXOk) return s;
  std::string n = Name(name, name_length);
  if (VXStatus s = CheckName(n); s != kVXOk) return s;
  if (type == kVXTypeAttachmentRef || SameName(n, "$FILE")) {
    return Fail(kVXNotAllowed, "Item $FILE is kept by the attachment calls");
  }
  if (value == nullptr && length != 0) return Fail(kVXBadArgument, "Item " + n + ": no value given");
  uint32_t len = length;
  if (len == 0 && value != nullptr && type == kVXTypeText) len = static_cast<uint32_t>(std::strlen(static_cast<const char*>(value)));
  std::string stored;
  if (VXStatus s = ToStored(type, value, len, &stored); s != kVXOk) return s;
  std::lock_guard<std::mutex> lock(doc->mutex);
  if (doc->summary != 0) flags |= kVXItemSummary;
  doc->note.PutItem(Item{n, type, flags, std::move(stored)});
  doc->changed = true;
  return kVXOk;
}

VXStatus VXItemFetch(VXHandle document, const char* name, uint16_t type, void* buffer, uint32_t size,
                     uint32_t* length) {
  std::shared_ptr<Document> doc;
  if (VXStatus s = GetDocument(document, &doc); s != kVXOk) return s;
  if (buffer == nullptr || size == 0) return Fail(kVXBadArgument, "Item fetch: no buffer given");
  std::lock_guard<std::mutex> lock(doc->mutex);
  std::string value;
  uint16_t actual = 0;
  if (VXStatus s = Converted(*doc, name, type, &value, &actual); s != kVXOk) {
    if (actual == kVXTypeText || type == kVXTypeText) static_cast<char*>(buffer)[0] = '\0';
    return s;
  }
  uint32_t n = 0;
  if (actual == kVXTypeText) {
    n = CopyText(value, static_cast<char*>(buffer), size);
  } else {
    if (value.size() > size) {
      return Fail(kVXBufferTooSmall, "Item " + std::string(name) + " needs " + std::to_string(value.size()) +
                                         " bytes; the buffer has " + std::to_string(size));
    }
    std::memcpy(buffer, value.data(), value.size());
    n = static_cast<uint32_t>(value.size());
  }
  if (length != nullptr) *length = n;
  return kVXOk;
}

VXStatus VXItemGetInfo(VXHandle document, const char* name, uint16_t* type, uint32_t* length, uint32_t* flags) {
  std::shared_ptr<Document> doc;
  if (VXStatus s = GetDocument(document, &doc); s != kVXOk) return s;
  std::lock_guard<std::mutex> lock(doc->mutex);
  std::string n = Name(name, 0);
  const Item* item = doc->note.FindItem(n);
  if (item == nullptr) return ItemMissing(*doc, n);
  if (type != nullptr) *type = item->type;
  if (flags != nullptr) *flags = item->flags;
  if (length != nullptr) {
    std::string value;
    if (VXStatus s = FromStored(*item, 0, &value); s != kVXOk) return s;
    *length = static_cast<uint32_t>(value.size());
  }
  return kVXOk;
}

VXStatus VXItemGetLength(VXHandle document, const char* name, uint16_t type, uint32_t* length) {
  std::shared_ptr<Document> doc;
  if (VXStatus s = GetDocument(document, &doc); s != kVXOk) return s;
  if (length == nullptr) return Fail(kVXBadArgument, "Item length: no place for the length");
  std::lock_guard<std::mutex> lock(doc->mutex);
  std::string value;
  if (VXStatus s = Converted(*doc, name, type, &value, nullptr); s != kVXOk) return s;
  *length = static_cast<uint32_t>(value.size());
  return kVXOk;
}

VXStatus VXItemGetPointer(VXHandle document, const char* name, uint16_t type, const void** pointer,
                          uint32_t* length) {
  std::shared_ptr<Document> doc;
  if (VXStatus s = GetDocument(document, &doc); s != kVXOk) return s;
  if (pointer == nullptr) return Fail(kVXBadArgument, "Item pointer: no place for the pointer");
  std::lock_guard<std::mutex> lock(doc->mutex);
  if (VXStatus s = Converted(*doc, name, type, &doc->pointer_value, nullptr); s != kVXOk) return s;
  doc->pointer_value.push_back('\0');  // texts can be read as C strings
  *pointer = doc->pointer_value.data();
  if (length != nullptr) *length = static_cast<uint32_t>(doc->pointer_value.size() - 1);
  return kVXOk;
}

VXStatus VXItemCopy(VXHandle source, const char* name, VXHandle target, uint32_t /*flags*/) {
  std::shared_ptr<Document> from, to;
  if (VXStatus s = GetDocument(source, &from); s != kVXOk) return s;
  if (VXStatus s = GetDocument(target, &to); s != kVXOk) return s;
  std::string n = Name(name, 0);
  if (SameName(n, "$FILE")) return Fail(kVXNotAllowed, "Item $FILE is kept by the attachment calls");
  Item copy;
  {
    std::lock_guard<std::mutex> lock(from->mutex);
    const Item* item = from->note.FindItem(n);
    if (item == nullptr) return ItemMissing(*from, n);
    copy = *item;
  }
  std::lock_guard<std::mutex> lock(to->mutex);
  to->note.PutItem(std::move(copy));
  to->changed = true;
  return kVXOk;
}

VXStatus VXItemDelete(VXHandle document, const char* name) {
  std::shared_ptr<Document> doc;
  if (VXStatus s = GetDocument(document, &doc); s != kVXOk) return s;
  std::string n = Name(name, 0);
  if (SameName(n, "$FILE")) return Fail(kVXNotAllowed, "Item $FILE is kept by the attachment calls");
  std::lock_guard<std::mutex> lock(doc->mutex);
  if (!doc->note.RemoveItem(n)) return ItemMissing(*doc, n);
  doc->changed = true;
  return kVXOk;
}

VXStatus VXItemList(VXHandle document, uint32_t code, char* name, uint32_t size, uint16_t* type) {
  std::shared_ptr<Document> doc;
  if (VXStatus s = GetDocument(document, &doc); s != kVXOk) return s;
  if (name == nullptr || size == 0) return Fail(kVXBadArgument, "Item list: no buffer given");
  std::lock_guard<std::mutex> lock(doc->mutex);
  if (code == kVXListFirst) {
    doc->item_cursor = 0;
  } else if (code != kVXListNext) {
    return Fail(kVXBadArgument, "Item list: code " + std::to_string(code) + " is not 2 (first) or 4 (next)");
  }
  if (doc->item_cursor >= doc->note.items.size()) {
    name[0] = '\0';
    return kVXEndOfList;
  }
  const Item& item = doc->note.items[doc->item_cursor++];
  CopyText(item.name, name, size);
  if (type != nullptr) *type = item.type;
  return kVXOk;
}

VXStatus VXItemAppendTextList(VXHandle document, const char* name, const char* entry, uint32_t length,
                              uint32_t flags) {
  std::shared_ptr<Document> doc;
  if (VXStatus s = GetDocument(document, &doc); s != kVXOk) return s;
  std::string n = Name(name, 0);
  if (VXStatus s = CheckName(n); s != kVXOk) return s;
  if (SameName(n, "$FILE")) return Fail(kVXNotAllowed, "Item $FILE is kept by the attachment calls");
  std::string e = entry == nullptr ? "" : (length != 0 ? std::string(entry, length) : std::string(entry));
  // An entry cannot hold the 0 that ends entries in a stored list.
  if (e.find('\0') != std::string::npos) return Fail(kVXBadArgument, "A text-list entry cannot contain a 0 byte");
  std::lock_guard<std::mutex> lock(doc->mutex);
  Item* item = doc->note.FindItem(n);
  if (item == nullptr) {
    uint32_t f = flags | (doc->summary != 0 ? kVXItemSummary : 0);
    doc->note.items.push_back(Item{n, kVXTypeTextList, f, JoinTextList({e})});
  } else if (item->type == kVXTypeText) {
    item->value = JoinTextList({item->value, e});
    item->type = kVXTypeTextList;
  } else if (item->type == kVXTypeTextList) {
    item->value += e;
    item->value += '\0';
  } else {
    return Fail(kVXWrongType, "Item " + n + " is not text; a text entry cannot be appended");
  }
  doc->changed = true;
  return kVXOk;
}

// --- Attachments -------------------------------------------------------------

VXStatus VXAttachmentAttach(VXHandle document, const char* file_path, const char* attachment_name, uint32_t flags) {
  std::shared_ptr<Document> doc;
  if (VXStatus s = GetDocument(document, &doc); s != kVXOk) return s;
  if (file_path == nullptr || *file_path == '\0') return Fail(kVXBadArgument, "Attach: no file named");
  std::string name = (attachment_name != nullptr && *attachment_name != '\0')
                         ? attachment_name
                         : std::string(std::strrchr(file_path, '/') ? std::strrchr(file_path, '/') + 1 : file_path);
  if (name.empty() || name.find('\0') != std::string::npos) return Fail(kVXBadArgument, "Attach: no attachment name");
  std::string bytes;
  if (VXStatus s = ReadFile(file_path, &bytes); s != kVXOk) return s;
  Attachment a;
  a.name = name;
  a.size = bytes.size();
  a.crc = Crc32(bytes);
  if ((flags & kVXAttachCompress) != 0) {
    std::string packed;
    if (!Compress(bytes, &packed)) return Fail(kVXStorageError, "Attachment " + name + " cannot be compressed");
    a.flags = 1;
    a.data = std::move(packed);
  } else {
    a.data = std::move(bytes);
  }
  std::lock_guard<std::mutex> lock(doc->mutex);
  std::vector<std::string> names = FileItemNames(doc->note);
  bool listed = false;
  for (const std::string& n : names) listed = listed || SameName(n, name);
  if (!listed) names.push_back(name);
  SetFileItem(&doc->note, names);
  doc->pending.push_back(AttachmentChange{false, std::move(a)});
  doc->changed = true;
  return kVXOk;
}

VXStatus VXAttachmentExtract(VXHandle document, const char* attachment_name, const char* file_path,
                             uint32_t /*flags*/) {
  std::shared_ptr<Document> doc;
  if (VXStatus s = GetDocument(document, &doc); s != kVXOk) return s;
  if (attachment_name == nullptr || file_path == nullptr || *file_path == '\0') {
    return Fail(kVXBadArgument, "Extract: no attachment or no file named");
  }
  Attachment a;
  bool found = false;
  {
    std::lock_guard<std::mutex> lock(doc->mutex);
    // The newest pending change wins over what is stored.
    for (auto it = doc->pending.rbegin(); it != doc->pending.rend(); ++it) {
      if (SameName(it->attachment.name, attachment_name)) {
        if (it->remove) return Fail(kVXAttachmentNotFound, std::string("Attachment ") + attachment_name + " was deleted");
        a = it->attachment;
        found = true;
        break;
      }
    }
    if (!found) {
      if (doc->note.id == 0) {
        return Fail(kVXAttachmentNotFound, std::string("Attachment ") + attachment_name + " not found in a new document");
      }
      std::lock_guard<std::mutex> db_lock(doc->database->mutex);
      if (VXStatus s = doc->database->store->ReadAttachment(doc->note.id, attachment_name, &a); s != kVXOk) return s;
    }
  }
  std::string plain;
  if ((a.flags & 1) != 0) {
    if (!Uncompress(a.data, a.size, &plain)) {
      return Fail(kVXNotADatabase, std::string("Attachment ") + attachment_name + " is damaged (it does not expand)");
    }
  } else {
    plain.swap(a.data);
  }
  if (plain.size() != a.size || Crc32(plain) != a.crc) {
    return Fail(kVXNotADatabase, std::string("Attachment ") + attachment_name + " is damaged (checksum differs)");
  }
  std::ofstream out(file_path, std::ios::binary | std::ios::trunc);
  out.write(plain.data(), static_cast<std::streamsize>(plain.size()));
  out.close();
  if (!out) return Fail(kVXFileError, std::string("File ") + file_path + " cannot be written: " + std::strerror(errno));
  return kVXOk;
}

VXStatus VXAttachmentDelete(VXHandle document, const char* attachment_name) {
  std::shared_ptr<Document> doc;
  if (VXStatus s = GetDocument(document, &doc); s != kVXOk) return s;
  if (attachment_name == nullptr) return Fail(kVXBadArgument, "Attachment delete: no name given");
  std::lock_guard<std::mutex> lock(doc->mutex);
  std::vector<std::string> names = FileItemNames(doc->note);
  bool found = false;
  for (auto it = names.begin(); it != names.end(); ++it) {
    if (SameName(*it, attachment_name)) {
      names.erase(it);
      found = true;
      break;
    }
  }
  if (!found) {
    return Fail(kVXAttachmentNotFound, std::string("Attachment ") + attachment_name + " not found in document " +
                                           std::to_string(doc->note.id));
  }
  SetFileItem(&doc->note, names);
  AttachmentChange c;
  c.remove = true;
  c.attachment.name = attachment_name;
  doc->pending.push_back(std::move(c));
  doc->changed = true;
  return kVXOk;
}

VXStatus VXAttachmentList(VXHandle document, uint32_t code, char* name, uint32_t size, uint32_t* bytes) {
  std::shared_ptr<Document> doc;
  if (VXStatus s = GetDocument(document, &doc); s != kVXOk) return s;
  if (name == nullptr || size == 0) return Fail(kVXBadArgument, "Attachment list: no buffer given");
  std::lock_guard<std::mutex> lock(doc->mutex);
  if (code == kVXListFirst) {
    doc->attachment_walk.clear();
    doc->attachment_cursor = 0;
    std::vector<Attachment> stored;
    if (doc->note.id != 0) {
      std::lock_guard<std::mutex> db_lock(doc->database->mutex);
      if (VXStatus s = doc->database->store->ListAttachments(doc->note.id, &stored); s != kVXOk) return s;
    }
    // The "$FILE" item is the list, in attaching order; sizes from the store
    // or the pending changes.
    for (const std::string& n : FileItemNames(doc->note)) {
      Attachment a;
      a.name = n;
      for (const Attachment& s : stored) {
        if (SameName(s.name, n)) a.size = s.size;
      }
      for (const AttachmentChange& c : doc->pending) {
        if (!c.remove && SameName(c.attachment.name, n)) a.size = c.attachment.size;
      }
      doc->attachment_walk.push_back(std::move(a));
    }
  } else if (code != kVXListNext) {
    return Fail(kVXBadArgument, "Attachment list: code " + std::to_string(code) + " is not 2 (first) or 4 (next)");
  }
  if (doc->attachment_cursor >= doc->attachment_walk.size()) {
    name[0] = '\0';
    return kVXEndOfList;
  }
  const Attachment& a = doc->attachment_walk[doc->attachment_cursor++];
  CopyText(a.name, name, size);
  if (bytes != nullptr) *bytes = static_cast<uint32_t>(std::min<uint64_t>(a.size, 0xFFFFFFFFu));
  return kVXOk;
}
