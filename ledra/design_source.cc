// Design sources and document lines (JSON) to notes and back.
#include "ledra/design_source.h"

#include <cinttypes>
#include <cmath>
#include <cstring>
#include <fstream>
#include <sstream>

#include "ledra/datetime.h"
#include "ledra/last_error.h"
#include "ledra/objects.h"

namespace ledra {
namespace {

using json = nlohmann::ordered_json;
using nlohmann::ordered_json;

// Limits that keep a hostile source from asking for absurd work.
constexpr size_t kMaxNotes = 1000000;
constexpr size_t kMaxItemsPerNote = 10000;

constexpr char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string Base64Encode(const std::string& in) {
  std::string out;
  out.reserve((in.size() + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 2 < in.size(); i += 3) {
    uint32_t v = (static_cast<unsigned char>(in[i]) << 16) | (static_cast<unsigned char>(in[i + 1]) << 8) |
                 static_cast<unsigned char>(in[i + 2]);
    for (int k = 3; k >= 0; --k) out += kBase64[(v >> (6 * k)) & 63];
  }
  if (i < in.size()) {
    uint32_t v = static_cast<unsigned char>(in[i]) << 16;
    if (i + 1 < in.size()) v |= static_cast<unsigned char>(in[i + 1]) << 8;
    out += kBase64[(v >> 18) & 63];
    out += kBase64[(v >> 12) & 63];
    out += i + 1 < in.size() ? kBase64[(v >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

bool Base64Decode(const std::string& in, std::string* out) {
  out->clear();
  uint32_t v = 0;
  int bits = 0;
  size_t pad = 0;
  for (char c : in) {
    if (c == '=') {
      ++pad;
      continue;
    }
    if (c == '\n' || c == '\r' || c == ' ') continue;
    const char* p = std::strchr(kBase64, c);
    if (c == '\0' || p == nullptr || pad > 0) return false;
    v = (v << 6) | static_cast<uint32_t>(p - kBase64);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out->push_back(static_cast<char>((v >> bits) & 0xff));
    }
  }
  return pad <= 2;
}

VXStatus Bad(const std::string& where, const std::string& what) {
  return Fail(kVXBadArgument, where + ": " + what);
}

// Reads an optional member of a given kind; a member of the wrong kind is an error.
VXStatus OptString(const json& o, const char* key, const std::string& where, std::string* out) {
  auto it = o.find(key);
  if (it == o.end() || it->is_null()) return kVXOk;
  if (!it->is_string()) return Bad(where + "." + key, "must be text");
  *out = it->get<std::string>();
  return kVXOk;
}

VXStatus OptUint(const json& o, const char* key, const std::string& where, uint32_t* out) {
  auto it = o.find(key);
  if (it == o.end() || it->is_null()) return kVXOk;
  if (!it->is_number_unsigned() && !(it->is_number_integer() && it->get<int64_t>() >= 0)) {
    return Bad(where + "." + key, "must be a whole number 0 or more");
  }
  uint64_t v = it->get<uint64_t>();
  if (v > 0xFFFFFFFFu) return Bad(where + "." + key, "does not fit 32 bits");
  *out = static_cast<uint32_t>(v);
  return kVXOk;
}

VXStatus OptBool(const json& o, const char* key, const std::string& where, bool* out) {
  auto it = o.find(key);
  if (it == o.end() || it->is_null()) return kVXOk;
  if (!it->is_boolean()) return Bad(where + "." + key, "must be true or false");
  *out = it->get<bool>();
  return kVXOk;
}

const json* OptArray(const json& o, const char* key) {
  auto it = o.find(key);
  return (it != o.end() && it->is_array()) ? &*it : nullptr;
}

VXStatus TypeByName(const json& t, const std::string& where, uint16_t* type) {
  static const std::pair<const char*, uint16_t> kNames[] = {
      {"number", kVXTypeNumber},         {"text", kVXTypeText},
      {"datetime", kVXTypeDatetime},     {"textlist", kVXTypeTextList},
      {"numberlist", kVXTypeNumberList}, {"datetimelist", kVXTypeDatetimeList},
      {"richtext", kVXTypeRichText},     {"formula", kVXTypeFormula}};
  if (t.is_string()) {
    for (const auto& [name, number] : kNames) {
      if (SameName(t.get<std::string>(), name)) {
        *type = number;
        return kVXOk;
      }
    }
  } else if (t.is_number_unsigned()) {
    for (const auto& [name, number] : kNames) {
      if (t.get<uint64_t>() == number) {
        *type = number;
        return kVXOk;
      }
    }
  }
  return Bad(where, "type must be one of number, text, datetime, textlist, numberlist, datetimelist, richtext, formula");
}

std::string StoredNumber(double v) {
  std::string s(8, '\0');
  std::memcpy(s.data(), &v, 8);
  return s;
}

std::string StoredDatetime(const Datetime& d) {
  std::string out(9, '\0');
  uint64_t t = static_cast<uint64_t>(d.ticks);
  for (int i = 0; i < 8; ++i) out[i] = static_cast<char>((t >> (8 * i)) & 0xff);
  out[8] = static_cast<char>((d.has_date ? 1 : 0) | (d.has_time ? 2 : 0));
  return out;
}

VXStatus DatetimeValue(const json& v, const std::string& where, std::string* stored) {
  Datetime d;
  if (v.is_string()) {
    if (!DatetimeParse(v.get<std::string>(), &d)) return Bad(where, "\"" + v.get<std::string>() + "\" is not a date-time");
  } else if (v.is_object() && v.contains("ticks") && v["ticks"].is_number_integer()) {
    d.ticks = v["ticks"].get<int64_t>();
    bool has_date = true, has_time = true;
    if (VXStatus s = OptBool(v, "date", where, &has_date); s != kVXOk) return s;
    if (VXStatus s = OptBool(v, "time", where, &has_time); s != kVXOk) return s;
    d.has_date = has_date;
    d.has_time = has_time;
  } else {
    return Bad(where, "a date-time is text such as \"12/08/2026 14:03:00\" or {\"ticks\": N}");
  }
  *stored += StoredDatetime(d);
  return kVXOk;
}

// An item value: plain JSON (text, number, list of texts or numbers) or an
// object with "type" and "value" (or "base64" for opaque types).
VXStatus ItemValue(const std::string& name, const json& v, const std::string& where, Item* item) {
  item->name = name;
  item->flags = kVXItemSummary;
  item->value.clear();
  if (name.empty() || name.size() > 0xFFFF) return Bad(where, "an item name is 1 to 65535 bytes");
  if (SameName(name, "$FILE")) return Bad(where, "$FILE is made from \"attachments\"");
  if (v.is_string()) {
    item->type = kVXTypeText;
    item->value = v.get<std::string>();
    return kVXOk;
  }
  if (v.is_number()) {
    item->type = kVXTypeNumber;
    double d = v.get<double>();
    if (!std::isfinite(d)) return Bad(where, "a number must be finite");
    item->value = StoredNumber(d);
    return kVXOk;
  }
  if (v.is_array()) {
    if (v.empty()) return Bad(where, "an empty list needs {\"type\": ..., \"value\": []}");
    json typed = {{"type", v[0].is_number() ? "numberlist" : "textlist"}, {"value", v}};
    return ItemValue(name, typed, where, item);
  }
  if (!v.is_object() || !v.contains("type")) {
    return Bad(where, "an item value is text, a number, a list, or {\"type\": ..., \"value\": ...}");
  }
  if (VXStatus s = TypeByName(v["type"], where + ".type", &item->type); s != kVXOk) return s;
  if (VXStatus s = OptUint(v, "flags", where, &item->flags); s != kVXOk) return s;
  auto value = v.find("value");
  switch (item->type) {
    case kVXTypeRichText:
    case kVXTypeFormula: {
      std::string b64;
      if (VXStatus s = OptString(v, "base64", where, &b64); s != kVXOk) return s;
      if (!Base64Decode(b64, &item->value)) return Bad(where + ".base64", "is not base64");
      return kVXOk;
    }
    case kVXTypeText:
      if (value == v.end() || !value->is_string()) return Bad(where + ".value", "must be text");
      item->value = value->get<std::string>();
      return kVXOk;
    case kVXTypeNumber:
      if (value == v.end() || !value->is_number() || !std::isfinite(value->get<double>())) {
        return Bad(where + ".value", "must be a finite number");
      }
      item->value = StoredNumber(value->get<double>());
      return kVXOk;
    case kVXTypeDatetime:
      return DatetimeValue(value != v.end() ? *value : v, where + ".value", &item->value);
    default:
      break;
  }
  if (value == v.end() || !value->is_array()) return Bad(where + ".value", "must be a list");
  size_t i = 0;
  for (const json& e : *value) {
    std::string at = where + ".value[" + std::to_string(i++) + "]";
    if (item->type == kVXTypeTextList) {
      if (!e.is_string()) return Bad(at, "must be text");
      std::string t = e.get<std::string>();
      if (t.find('\0') != std::string::npos) return Bad(at, "a list entry cannot hold a 0 byte");
      item->value += t;
      item->value += '\0';
    } else if (item->type == kVXTypeNumberList) {
      if (!e.is_number() || !std::isfinite(e.get<double>())) return Bad(at, "must be a finite number");
      item->value += StoredNumber(e.get<double>());
    } else {
      if (VXStatus s = DatetimeValue(e, at, &item->value); s != kVXOk) return s;
    }
  }
  return kVXOk;
}

VXStatus Attachments(const json& doc, const ParseOptions& options, const std::string& where, PendingNote* out) {
  const json* list = OptArray(doc, "attachments");
  if (list == nullptr) return kVXOk;
  std::vector<std::string> names;
  size_t i = 0;
  for (const json& a : *list) {
    std::string at = where + ".attachments[" + std::to_string(i++) + "]";
    if (!a.is_object()) return Bad(at, "must be an object");
    Attachment att;
    std::string text, b64, file;
    bool compress = false;
    if (VXStatus s = OptString(a, "name", at, &att.name); s != kVXOk) return s;
    if (VXStatus s = OptString(a, "text", at, &text); s != kVXOk) return s;
    if (VXStatus s = OptString(a, "base64", at, &b64); s != kVXOk) return s;
    if (VXStatus s = OptString(a, "file", at, &file); s != kVXOk) return s;
    if (VXStatus s = OptBool(a, "compress", at, &compress); s != kVXOk) return s;
    if (att.name.empty() || att.name.find('\0') != std::string::npos) return Bad(at, "an attachment needs a name");
    for (const std::string& n : names) {
      if (SameName(n, att.name)) return Bad(at, "attachment " + att.name + " is named twice");
    }
    std::string bytes;
    if (!file.empty()) {
      if (options.base_dir.empty()) return Bad(at + ".file", "files cannot be read here");
      std::string path = file[0] == '/' ? file : options.base_dir + "/" + file;
      std::ifstream in(path, std::ios::binary);
      if (!in) return Fail(kVXFileError, at + ".file: " + path + " cannot be read");
      std::ostringstream s;
      s << in.rdbuf();
      bytes = s.str();
    } else if (a.contains("base64")) {
      if (!Base64Decode(b64, &bytes)) return Bad(at + ".base64", "is not base64");
    } else {
      bytes = text;
    }
    att.size = bytes.size();
    att.crc = Crc32(bytes);
    if (compress) {
      if (!Compress(bytes, &att.data)) return Fail(kVXStorageError, at + ": cannot be compressed");
      att.flags = 1;
    } else {
      att.data = std::move(bytes);
    }
    names.push_back(att.name);
    out->attachments.push_back(std::move(att));
  }
  SetFileItem(&out->note, names);
  return kVXOk;
}

// Builds a design note: $TITLE, $Hidden, $Flags and kind-specific items.
VXStatus DesignNote(const json& d, uint32_t note_class, const std::string& where, PendingNote* out) {
  if (!d.is_object()) return Bad(where, "must be an object");
  Note& note = out->note;
  note.unid = NewUnid();
  note.note_class = note_class;
  std::string name;
  bool hidden = false;
  uint32_t flags = 0;
  if (VXStatus s = OptString(d, "name", where, &name); s != kVXOk) return s;
  if (name.empty()) return Bad(where + ".name", "a design note needs a name");
  if (VXStatus s = OptBool(d, "hidden", where, &hidden); s != kVXOk) return s;
  if (VXStatus s = OptUint(d, "flags", where, &flags); s != kVXOk) return s;
  PutText(&note, "$TITLE", name);
  PutNumber(&note, "$Hidden", hidden ? 1 : 0);
  PutNumber(&note, "$Flags", flags);
  auto extra = d.find("items");
  if (extra != d.end()) {
    if (!extra->is_object()) return Bad(where + ".items", "must be an object");
    for (auto it = extra->begin(); it != extra->end(); ++it) {
      Item item;
      if (VXStatus s = ItemValue(it.key(), it.value(), where + ".items." + it.key(), &item); s != kVXOk) return s;
      note.PutItem(std::move(item));
    }
  }
  return kVXOk;
}

VXStatus Form(const json& f, const std::string& where, PendingNote* out) {
  if (VXStatus s = DesignNote(f, kVXClassForm, where, out); s != kVXOk) return s;
  uint32_t flags = static_cast<uint32_t>(NumberItem(out->note, "$Flags", 0)), response_kind = 0;
  bool subform = false, navigator = false;
  if (VXStatus s = OptUint(f, "response_kind", where, &response_kind); s != kVXOk) return s;
  if (VXStatus s = OptBool(f, "subform", where, &subform); s != kVXOk) return s;
  if (VXStatus s = OptBool(f, "navigator", where, &navigator); s != kVXOk) return s;
  if (response_kind > 2) return Bad(where + ".response_kind", "must be 0, 1 or 2");
  if (subform) flags |= kVXFormIsSubform;
  if (navigator) flags |= kVXFormIsNavigator;
  PutNumber(&out->note, "$Flags", flags);
  if (navigator) PutNumber(&out->note, "$Hidden", 1);
  PutNumber(&out->note, "$ResponseKind", response_kind);
  json fields = json::array();
  if (const json* list = OptArray(f, "fields")) {
    size_t i = 0;
    for (const json& fd : *list) {
      std::string at = where + ".fields[" + std::to_string(i++) + "]";
      if (!fd.is_object()) return Bad(at, "must be an object");
      json n = json::object();
      std::string name;
      if (VXStatus s = OptString(fd, "name", at, &name); s != kVXOk) return s;
      if (name.empty() || name.size() >= kVXNameSize) return Bad(at + ".name", "a field name is 1 to 64 bytes");
      uint16_t type = kVXTypeText;
      if (fd.contains("type")) {
        if (VXStatus s = TypeByName(fd["type"], at + ".type", &type); s != kVXOk) return s;
      }
      uint32_t fflags = 0x02, kk = 0, sk = 2;
      if (VXStatus s = OptUint(fd, "flags", at, &fflags); s != kVXOk) return s;
      if (VXStatus s = OptUint(fd, "keyword_kind", at, &kk); s != kVXOk) return s;
      if (VXStatus s = OptUint(fd, "separator_kind", at, &sk); s != kVXOk) return s;
      if (kk > 4) return Bad(at + ".keyword_kind", "must be 0 to 4");
      n["name"] = name;
      n["type"] = type;
      n["flags"] = fflags;
      n["keyword_kind"] = kk;
      n["separator_kind"] = sk;
      for (const char* key : {"help", "default", "input_translation", "validation", "computed"}) {
        std::string t;
        if (VXStatus s = OptString(fd, key, at, &t); s != kVXOk) return s;
        n[key] = t;
      }
      json keywords = json::array();
      if (const json* kw = OptArray(fd, "keywords")) {
        for (const json& k : *kw) {
          if (!k.is_string()) return Bad(at + ".keywords", "every keyword is text");
          keywords.push_back(k);
        }
      }
      n["keywords"] = keywords;
      fields.push_back(n);
    }
  }
  PutText(&out->note, "$Fields", fields.dump());
  return kVXOk;
}

VXStatus View(const json& v, bool folder, const std::string& where, PendingNote* out) {
  if (VXStatus s = DesignNote(v, kVXClassView, where, out); s != kVXOk) return s;
  uint32_t flags = static_cast<uint32_t>(NumberItem(out->note, "$Flags", 0));
  bool collapsed = false;
  if (VXStatus s = OptBool(v, "collapsed", where, &collapsed); s != kVXOk) return s;
  if (collapsed) flags |= kVXViewCollapsed;
  if (folder) flags |= kVXViewIsFolder;
  PutNumber(&out->note, "$Flags", flags);
  std::string selection = folder ? "" : "SELECT @All";
  if (VXStatus s = OptString(v, "selection", where, &selection); s != kVXOk) return s;
  PutText(&out->note, "$Selection", selection);
  json columns = json::array();
  if (const json* list = OptArray(v, "columns")) {
    size_t i = 0;
    for (const json& c : *list) {
      std::string at = where + ".columns[" + std::to_string(i++) + "]";
      if (!c.is_object()) return Bad(at, "must be an object");
      json n = json::object();
      std::string title, item, formula, sort;
      uint32_t width = 10, cflags = 0;
      bool categorized = false;
      if (VXStatus s = OptString(c, "title", at, &title); s != kVXOk) return s;
      if (VXStatus s = OptString(c, "item", at, &item); s != kVXOk) return s;
      if (VXStatus s = OptString(c, "formula", at, &formula); s != kVXOk) return s;
      if (VXStatus s = OptString(c, "sort", at, &sort); s != kVXOk) return s;
      if (VXStatus s = OptUint(c, "width", at, &width); s != kVXOk) return s;
      if (VXStatus s = OptUint(c, "flags", at, &cflags); s != kVXOk) return s;
      if (VXStatus s = OptBool(c, "categorized", at, &categorized); s != kVXOk) return s;
      if (width > 4095) return Bad(at + ".width", "must be at most 4095 characters");
      if (sort == "ascending") {
        cflags |= 0x01;
      } else if (sort == "descending") {
        cflags |= 0x03;
      } else if (!sort.empty() && sort != "none") {
        return Bad(at + ".sort", "must be ascending, descending or none");
      }
      if (categorized) cflags |= 0x05;  // a categorised column is sorted
      n["title"] = title;
      n["width"] = width;
      n["item"] = item;
      n["formula"] = formula;
      n["flags"] = cflags;
      columns.push_back(n);
    }
  }
  PutText(&out->note, "$Columns", columns.dump());
  return kVXOk;
}

VXStatus Agent(const json& a, const std::string& where, PendingNote* out) {
  if (VXStatus s = DesignNote(a, kVXClassAgent, where, out); s != kVXOk) return s;
  std::string formula;
  if (VXStatus s = OptString(a, "formula", where, &formula); s != kVXOk) return s;
  PutText(&out->note, "$Selection", formula);
  return kVXOk;
}

std::string ItemJsonType(uint16_t type) {
  switch (type) {
    case kVXTypeNumber: return "number";
    case kVXTypeText: return "text";
    case kVXTypeDatetime: return "datetime";
    case kVXTypeTextList: return "textlist";
    case kVXTypeNumberList: return "numberlist";
    case kVXTypeDatetimeList: return "datetimelist";
    case kVXTypeRichText: return "richtext";
    case kVXTypeFormula: return "formula";
    default: return std::to_string(type);
  }
}

ordered_json DatetimeJson(const char* p) {
  uint64_t t = 0;
  for (int i = 0; i < 8; ++i) t |= static_cast<uint64_t>(static_cast<unsigned char>(p[i])) << (8 * i);
  Datetime d;
  d.ticks = static_cast<int64_t>(t);
  d.has_date = (p[8] & 1) != 0;
  d.has_time = (p[8] & 2) != 0;
  ordered_json j;
  j["ticks"] = d.ticks;
  j["date"] = d.has_date;
  j["time"] = d.has_time;
  j["text"] = DatetimeFormat(d);
  return j;
}

}  // namespace

std::string UnidText(const VXUnid& u) {
  char buf[48];
  std::snprintf(buf, sizeof buf, "%xg%xg%xg%xg", u.words[0], u.words[1], u.words[2], u.words[3]);
  return buf;
}

bool ParseUnidText(const std::string& text, VXUnid* unid) {
  unsigned int w[4];
  int used = 0;
  if (text.size() > 40 || std::sscanf(text.c_str(), "%xg%xg%xg%xg%n", &w[0], &w[1], &w[2], &w[3], &used) != 4 ||
      static_cast<size_t>(used) != text.size() || text.back() != 'g') {
    return false;
  }
  for (int i = 0; i < 4; ++i) unid->words[i] = w[i];
  return true;
}

VXStatus ParseDocument(const json& doc, const ParseOptions& options, const std::string& where, PendingNote* out) {
  if (!doc.is_object()) return Bad(where, "a document is a JSON object");
  *out = PendingNote{};
  Note& note = out->note;
  std::string unid, parent;
  if (VXStatus s = OptString(doc, "unid", where, &unid); s != kVXOk) return s;
  if (VXStatus s = OptString(doc, "parent", where, &parent); s != kVXOk) return s;
  if (VXStatus s = OptUint(doc, "class", where, &note.note_class); s != kVXOk) return s;
  if (note.note_class == 0 || (note.note_class & (note.note_class - 1)) != 0) {
    return Bad(where + ".class", "must be one note class (1, 2, 4, ... 2048)");
  }
  if (!unid.empty()) {
    if (!ParseUnidText(unid, &note.unid)) return Bad(where + ".unid", "is not a UNID (\"%xg%xg%xg%xg\")");
    out->replace = true;
  } else {
    note.unid = NewUnid();
  }
  if (!parent.empty()) {
    if (!ParseUnidText(parent, &note.parent)) return Bad(where + ".parent", "is not a UNID");
    note.has_parent = true;
  }
  auto items = doc.find("items");
  if (items != doc.end()) {
    if (!items->is_object()) return Bad(where + ".items", "must be an object of name: value");
    if (items->size() > kMaxItemsPerNote) return Bad(where + ".items", "too many items");
    for (auto it = items->begin(); it != items->end(); ++it) {
      Item item;
      if (VXStatus s = ItemValue(it.key(), it.value(), where + ".items." + it.key(), &item); s != kVXOk) return s;
      note.PutItem(std::move(item));
    }
  }
  return Attachments(doc, options, where, out);
}

VXStatus ParseDesignSource(const std::string& text, const ParseOptions& options, DesignSource* out) {
  *out = DesignSource{};
  try {
    json d = json::parse(text, nullptr, false);
    if (d.is_discarded()) return Bad("design source", "is not valid JSON");
    if (!d.is_object()) return Bad("design source", "must be a JSON object");
    if (VXStatus s = OptString(d, "title", "design source", &out->title); s != kVXOk) return s;
    if (VXStatus s = OptString(d, "default_form", "design source", &out->default_form); s != kVXOk) return s;
    if (VXStatus s = OptString(d, "default_view", "design source", &out->default_view); s != kVXOk) return s;
    if (VXStatus s = OptString(d, "design_template", "design source", &out->design_template); s != kVXOk) return s;
    auto each = [&](const char* key, auto build) -> VXStatus {
      auto it = d.find(key);
      if (it == d.end() || it->is_null()) return kVXOk;
      if (!it->is_array()) return Bad(key, "must be a list");
      size_t i = 0;
      for (const json& e : *it) {
        if (out->notes.size() >= kMaxNotes) return Bad(key, "too many notes");
        PendingNote p;
        if (VXStatus s = build(e, std::string(key) + "[" + std::to_string(i++) + "]", &p); s != kVXOk) return s;
        out->notes.push_back(std::move(p));
      }
      return kVXOk;
    };
    VXStatus s = each("forms", [](const json& e, const std::string& w, PendingNote* p) { return Form(e, w, p); });
    if (s == kVXOk) s = each("views", [](const json& e, const std::string& w, PendingNote* p) { return View(e, false, w, p); });
    if (s == kVXOk) s = each("folders", [](const json& e, const std::string& w, PendingNote* p) { return View(e, true, w, p); });
    if (s == kVXOk) s = each("agents", [](const json& e, const std::string& w, PendingNote* p) { return Agent(e, w, p); });
    for (const auto& [key, note_class] : {std::pair<const char*, uint32_t>{"about", kVXClassAbout},
                                          std::pair<const char*, uint32_t>{"using", kVXClassUsing}}) {
      auto it = d.find(key);
      if (s != kVXOk || it == d.end() || it->is_null()) continue;
      PendingNote p;
      json doc = *it;
      if (doc.is_object()) doc["class"] = note_class;
      s = ParseDocument(doc, options, key, &p);
      if (s == kVXOk) out->notes.push_back(std::move(p));
    }
    if (s == kVXOk) {
      s = each("documents", [&options](const json& e, const std::string& w, PendingNote* p) {
        return ParseDocument(e, options, w, p);
      });
    }
    if (s != kVXOk) return s;
    // Two notes with one UNID would make the second overwrite the first.
    for (size_t i = 0; i < out->notes.size(); ++i) {
      for (size_t j = i + 1; j < out->notes.size() && out->notes.size() < 20000; ++j) {
        if (out->notes[i].note.unid == out->notes[j].note.unid) {
          return Bad("documents", "UNID " + UnidText(out->notes[i].note.unid) + " is given twice");
        }
      }
    }
    return kVXOk;
  } catch (const std::exception& e) {
    return Bad("design source", std::string("cannot be read: ") + e.what());
  }
}

VXStatus ApplyDocument(NoteStore* store, PendingNote* pending) {
  Note& note = pending->note;
  VXNoteId existing = pending->replace ? store->FindByUnid(note.unid) : 0;
  if (existing == 0) return store->Insert(&note, pending->attachments);
  // Replacing: the note keeps its id; its old attachments make way.
  Note old;
  if (VXStatus s = store->Load(existing, &old); s != kVXOk) return s;
  std::vector<Attachment> stored;
  if (VXStatus s = store->ListAttachments(existing, &stored); s != kVXOk) return s;
  std::vector<AttachmentChange> changes;
  for (const Attachment& a : stored) changes.push_back(AttachmentChange{true, Attachment{a.name, 0, 0, 0, ""}});
  for (const Attachment& a : pending->attachments) changes.push_back(AttachmentChange{false, a});
  note.id = existing;
  note.created = old.created;
  return store->Save(&note, changes);
}

VXStatus ApplyDesignSource(NoteStore* store, const DesignSource& source) {
  if (VXStatus s = store->BeginBatch(); s != kVXOk) return s;
  if (!source.title.empty()) {
    if (VXStatus s = store->SetInfo("title", source.title); s != kVXOk) return s;
  }
  if (!source.design_template.empty()) {
    if (VXStatus s = store->SetInfo("design_template", source.design_template); s != kVXOk) return s;
  }
  VXNoteId default_form = 0, default_view = 0;
  for (const PendingNote& p : source.notes) {
    PendingNote copy = p;
    if (VXStatus s = ApplyDocument(store, &copy); s != kVXOk) return s;
    std::string title = TextItem(copy.note, "$TITLE");
    if (copy.note.note_class == kVXClassForm && default_form == 0 && DesignNameMatches(title, source.default_form)) {
      default_form = copy.note.id;
    }
    if (copy.note.note_class == kVXClassView && default_view == 0 && DesignNameMatches(title, source.default_view)) {
      default_view = copy.note.id;
    }
  }
  if (!source.default_form.empty() && default_form == 0) {
    return Bad("default_form", "no form is named \"" + source.default_form + "\"");
  }
  if (!source.default_view.empty() && default_view == 0) {
    return Bad("default_view", "no view is named \"" + source.default_view + "\"");
  }
  if (default_form != 0) {
    if (VXStatus s = store->SetInfo("default_form", std::to_string(default_form)); s != kVXOk) return s;
  }
  if (default_view != 0) {
    if (VXStatus s = store->SetInfo("default_view", std::to_string(default_view)); s != kVXOk) return s;
  }
  return store->CommitBatch();
}

VXStatus DumpNote(NoteStore* store, const Note& note, std::string* line) {
  ordered_json j;
  j["note_id"] = note.id;
  j["unid"] = UnidText(note.unid);
  j["class"] = note.note_class;
  if (note.has_parent) j["parent"] = UnidText(note.parent);
  Datetime created, modified;
  created.ticks = note.created;
  modified.ticks = note.modified;
  j["created"] = DatetimeFormat(created);
  j["modified"] = DatetimeFormat(modified);
  ordered_json items = ordered_json::object();
  for (const Item& item : note.items) {
    if (item.type == kVXTypeAttachmentRef) continue;  // rebuilt from "attachments"
    ordered_json v;
    bool plain_ok = item.flags == kVXItemSummary;
    switch (item.type) {
      case kVXTypeText:
        if (plain_ok) {
          v = item.value;
        } else {
          v = {{"type", "text"}, {"value", item.value}};
        }
        break;
      case kVXTypeNumber: {
        double d = 0;
        if (item.value.size() == 8) std::memcpy(&d, item.value.data(), 8);
        v = plain_ok ? ordered_json(d) : ordered_json{{"type", "number"}, {"value", d}};
        break;
      }
      case kVXTypeTextList:
      case kVXTypeNumberList: {
        ordered_json list = ordered_json::array();
        if (item.type == kVXTypeTextList) {
          for (const std::string& e : SplitTextList(item.value)) list.push_back(e);
        } else {
          for (size_t i = 0; i + 8 <= item.value.size(); i += 8) {
            double d;
            std::memcpy(&d, item.value.data() + i, 8);
            list.push_back(d);
          }
        }
        // Mixed-up or empty lists keep their type explicitly.
        bool explicit_type = !plain_ok || list.empty() ||
                             (item.type == kVXTypeTextList && list[0].is_number());
        v = explicit_type ? ordered_json{{"type", ItemJsonType(item.type)}, {"value", list}} : list;
        break;
      }
      case kVXTypeDatetime:
      case kVXTypeDatetimeList: {
        ordered_json values = ordered_json::array();
        for (size_t i = 0; i + 9 <= item.value.size(); i += 9) values.push_back(DatetimeJson(item.value.data() + i));
        v = {{"type", ItemJsonType(item.type)}};
        if (item.type == kVXTypeDatetime && !values.empty()) {
          v["value"] = values[0];
        } else {
          v["value"] = values;
        }
        break;
      }
      default:
        v = {{"type", ItemJsonType(item.type)}, {"base64", Base64Encode(item.value)}};
        break;
    }
    if (!plain_ok && v.is_object()) v["flags"] = item.flags;
    items[item.name] = v;
  }
  j["items"] = items;
  std::vector<Attachment> attachments;
  if (VXStatus s = store->ListAttachments(note.id, &attachments); s != kVXOk) return s;
  if (!attachments.empty()) {
    ordered_json list = ordered_json::array();
    for (const Attachment& a : attachments) {
      Attachment full;
      if (VXStatus s = store->ReadAttachment(note.id, a.name, &full); s != kVXOk) return s;
      std::string plain;
      if ((full.flags & 1) != 0) {
        if (!Uncompress(full.data, full.size, &plain)) {
          return Fail(kVXNotADatabase, "Attachment " + a.name + " of note " + std::to_string(note.id) + " is damaged");
        }
      } else {
        plain = std::move(full.data);
      }
      list.push_back({{"name", a.name}, {"compress", (full.flags & 1) != 0}, {"base64", Base64Encode(plain)}});
    }
    j["attachments"] = list;
  }
  *line = j.dump(-1, ' ', false, nlohmann::detail::error_handler_t::replace);
  return kVXOk;
}

}  // namespace ledra
