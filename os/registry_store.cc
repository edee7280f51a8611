// The registry file's text form and the key tree; see os/registry_format.md.
#include "os/registry_store.h"

#include <cstdint>
#include <utility>

namespace os {
namespace {

constexpr std::string_view kRootNames[] = {"HKCU", "HKLM"};

std::string_view RootName(RegistryRoot root) {
  return kRootNames[root == RegistryRoot::kCurrentUser ? 0 : 1];
}

// Length of the well-formed UTF-8 sequence starting at text[pos], or 0. Such
// sequences are written as they are; every other byte above 0x7e is escaped,
// so the file stays valid UTF-8 that an editor will not mangle.
size_t Utf8SequenceLength(std::string_view text, size_t pos) {
  auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  unsigned char lead = byte(pos);
  size_t length;
  unsigned char low = 0x80, high = 0xbf;  // range of the second byte
  if (lead >= 0xc2 && lead <= 0xdf) {
    length = 2;
  } else if (lead >= 0xe0 && lead <= 0xef) {
    length = 3;
    if (lead == 0xe0) low = 0xa0;
    if (lead == 0xed) high = 0x9f;  // no UTF-16 surrogates
  } else if (lead >= 0xf0 && lead <= 0xf4) {
    length = 4;
    if (lead == 0xf0) low = 0x90;
    if (lead == 0xf4) high = 0x8f;
  } else {
    return 0;
  }
  if (pos + length > text.size()) return 0;
  if (byte(pos + 1) < low || byte(pos + 1) > high) return 0;
  for (size_t i = 2; i < length; ++i) {
    if (byte(pos + i) < 0x80 || byte(pos + i) > 0xbf) return 0;
  }
  return length;
}

void AppendQuoted(std::string_view text, std::string* out) {
  static constexpr char kHex[] = "0123456789abcdef";
  out->push_back('"');
  for (size_t i = 0; i < text.size();) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '"' || c == '\\') {
      out->push_back('\\');
      out->push_back(static_cast<char>(c));
    } else if (c == '\n') {
      out->append("\\n");
    } else if (c == '\r') {
      out->append("\\r");
    } else if (c == '\t') {
      out->append("\\t");
    } else if (c >= 0x20 && c < 0x7f) {
      out->push_back(static_cast<char>(c));
    } else if (size_t length = c >= 0x80 ? Utf8SequenceLength(text, i) : 0; length > 0) {
      out->append(text.substr(i, length));
      i += length;
      continue;
    } else {
      out->append("\\x");
      out->push_back(kHex[c >> 4]);
      out->push_back(kHex[c & 15]);
    }
    ++i;
  }
  out->push_back('"');
}

struct Token {
  bool quoted = false;
  std::string text;
};

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r';
}

// Splits one line into bare words and quoted texts (escapes undone).
bool Tokenize(std::string_view line, std::vector<Token>* tokens, std::string* error) {
  size_t i = 0;
  while (true) {
    while (i < line.size() && IsBlank(line[i])) ++i;
    if (i == line.size()) return true;
    Token token;
    if (line[i] != '"') {
      while (i < line.size() && !IsBlank(line[i]) && line[i] != '"')
        token.text.push_back(line[i++]);
      tokens->push_back(std::move(token));
      continue;
    }
    token.quoted = true;
    ++i;
    while (true) {
      if (i == line.size()) {
        *error = "unterminated quoted text";
        return false;
      }
      char c = line[i++];
      if (c == '"') break;
      if (c != '\\') {
        token.text.push_back(c);
        continue;
      }
      if (i == line.size()) {
        *error = "unterminated quoted text";
        return false;
      }
      char e = line[i++];
      switch (e) {
        case '\\':
          token.text.push_back('\\');
          break;
        case '"':
          token.text.push_back('"');
          break;
        case 'n':
          token.text.push_back('\n');
          break;
        case 'r':
          token.text.push_back('\r');
          break;
        case 't':
          token.text.push_back('\t');
          break;
        case 'x': {
          int high = i < line.size() ? HexDigit(line[i]) : -1;
          int low = i + 1 < line.size() ? HexDigit(line[i + 1]) : -1;
          if (high < 0 || low < 0) {
            *error = "\\x needs two hexadecimal digits";
            return false;
          }
          token.text.push_back(static_cast<char>(high * 16 + low));
          i += 2;
          break;
        }
        default:
          *error = std::string("unknown escape \\") + e;
          return false;
      }
    }
    if (i < line.size() && !IsBlank(line[i])) {
      *error = "quoted text runs into the next word";
      return false;
    }
    tokens->push_back(std::move(token));
  }
}

bool CheckKeyName(std::string_view name) {
  if (name.empty() || name.size() > kRegistryMaxKeyName) return false;
  for (char c : name) {
    unsigned char u = static_cast<unsigned char>(c);
    if (c == '\\' || u < 0x20 || u == 0x7f) return false;
  }
  return true;
}

bool ParseNumber(std::string_view word, uint32_t* number) {
  if (word.empty() || word.size() > 10) return false;
  uint64_t n = 0;
  for (char c : word) {
    if (c < '0' || c > '9') return false;
    n = n * 10 + static_cast<uint64_t>(c - '0');
  }
  if (n > UINT32_MAX) return false;
  *number = static_cast<uint32_t>(n);
  return true;
}

}  // namespace

std::string RegistryFold(std::string_view name) {
  std::string folded(name);
  for (char& c : folded) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return folded;
}

RegistryStore RegistryStoreEmpty() {
  RegistryStore store;
  for (std::string_view root : kRootNames) {
    store.keys[{RegistryFold(root)}].path = {std::string(root)};
  }
  return store;
}

RegistryStatus RegistrySplitPath(std::string_view path, std::vector<std::string>* names) {
  names->clear();
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find('\\', start);
    if (end == std::string_view::npos) end = path.size();
    std::string_view name = path.substr(start, end - start);
    if (!name.empty()) {
      if (!CheckKeyName(name)) return RegistryStatus::kBadName;
      names->emplace_back(name);
    }
    start = end + 1;
  }
  return RegistryStatus::kOk;
}

std::vector<std::string> RegistryFoldedPath(RegistryRoot root,
                                            const std::vector<std::string>& names) {
  std::vector<std::string> folded;
  folded.reserve(names.size() + 1);
  folded.push_back(RegistryFold(RootName(root)));
  for (const std::string& name : names) folded.push_back(RegistryFold(name));
  return folded;
}

RegistryStoreKey* RegistryStoreFind(RegistryStore& store, const std::vector<std::string>& folded) {
  auto it = store.keys.find(folded);
  return it == store.keys.end() ? nullptr : &it->second;
}

const RegistryStoreKey* RegistryStoreFind(const RegistryStore& store,
                                          const std::vector<std::string>& folded) {
  auto it = store.keys.find(folded);
  return it == store.keys.end() ? nullptr : &it->second;
}

RegistryStoreKey& RegistryStoreMake(RegistryStore& store, const std::vector<std::string>& folded,
                                    const std::vector<std::string>& stored_path) {
  std::vector<std::string> prefix;
  std::vector<std::string> stored_prefix;
  RegistryStoreKey* key = nullptr;
  for (size_t i = 0; i < folded.size(); ++i) {
    prefix.push_back(folded[i]);
    auto [it, inserted] = store.keys.try_emplace(prefix);
    // A parent that exists lends its stored case to the paths below it.
    stored_prefix.push_back(inserted ? stored_path[i] : it->second.path.back());
    if (inserted) it->second.path = stored_prefix;
    key = &it->second;
  }
  return *key;
}

void RegistryStoreSet(RegistryStoreKey& key, RegistryValue value) {
  auto [it, inserted] = key.index.try_emplace(RegistryFold(value.name), key.values.size());
  if (inserted) {
    key.values.push_back(std::move(value));
    return;
  }
  RegistryValue& old = key.values[it->second];
  value.name = std::move(old.name);
  old = std::move(value);
}

const RegistryValue* RegistryStoreGet(const RegistryStoreKey& key, std::string_view name) {
  auto it = key.index.find(RegistryFold(name));
  return it == key.index.end() ? nullptr : &key.values[it->second];
}

bool RegistryStoreErase(RegistryStoreKey& key, std::string_view name) {
  auto it = key.index.find(RegistryFold(name));
  if (it == key.index.end()) return false;
  size_t position = it->second;
  key.index.erase(it);
  key.values.erase(key.values.begin() + static_cast<std::ptrdiff_t>(position));
  for (auto& [folded, later] : key.index) {
    if (later > position) --later;
  }
  return true;
}

bool RegistryStoreParse(std::string_view text, RegistryStore* store, std::string* error) {
  *store = RegistryStoreEmpty();
  RegistryStoreKey* current = nullptr;
  bool seen_header = false;
  size_t line_number = 0;
  auto fail = [&](const std::string& what) {
    *error = "line " + std::to_string(line_number) + ": " + what;
    return false;
  };
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    start = end + 1;
    ++line_number;

    std::vector<Token> tokens;
    std::string why;
    size_t first = 0;
    while (first < line.size() && IsBlank(line[first])) ++first;
    if (first == line.size() || line[first] == '#') continue;
    if (!Tokenize(line, &tokens, &why)) return fail(why);
    const Token& kind = tokens[0];
    if (kind.quoted) return fail("a line must begin with a word");

    if (!seen_header) {
      if (tokens.size() != 2 || kind.text != "corvane-registry" || tokens[1].quoted) {
        return fail("not a registry file (the first line must be \"" +
                    std::string(kRegistryHeader) + "\")");
      }
      if (tokens[1].text != "1") return fail("unknown format version " + tokens[1].text);
      seen_header = true;
    } else if (kind.text == "key") {
      if (tokens.size() < 2 || tokens[1].quoted) return fail("key needs a root (HKCU or HKLM)");
      std::string root = RegistryFold(tokens[1].text);
      if (root != "hkcu" && root != "hklm") return fail("unknown root " + tokens[1].text);
      std::vector<std::string> folded{root};
      std::vector<std::string> stored{root == "hkcu" ? "HKCU" : "HKLM"};
      for (size_t i = 2; i < tokens.size(); ++i) {
        if (!tokens[i].quoted) return fail("key names must be quoted");
        if (!CheckKeyName(tokens[i].text)) return fail("bad key name");
        folded.push_back(RegistryFold(tokens[i].text));
        stored.push_back(tokens[i].text);
      }
      current = &RegistryStoreMake(*store, folded, stored);
    } else if (kind.text == "text" || kind.text == "number") {
      if (current == nullptr) return fail("value before the first key line");
      if (tokens.size() != 3) return fail(kind.text + " needs a name and a value");
      if (!tokens[1].quoted) return fail("value names must be quoted");
      RegistryValue value;
      value.name = tokens[1].text;
      if (kind.text == "text") {
        if (!tokens[2].quoted) return fail("text values must be quoted");
        value.type = RegistryValueType::kText;
        value.text = tokens[2].text;
      } else {
        if (tokens[2].quoted || !ParseNumber(tokens[2].text, &value.number)) {
          return fail("number needs a decimal from 0 to 4294967295");
        }
        value.type = RegistryValueType::kNumber;
      }
      RegistryStoreSet(*current, std::move(value));
    } else {
      return fail("unknown line kind " + kind.text);
    }
  }
  if (!seen_header && line_number > 0) {
    // Only comments and blank lines: not something this store wrote.
    for (char c : text) {
      if (!IsBlank(c) && c != '\n') {
        *error = "not a registry file (no \"" + std::string(kRegistryHeader) + "\" line)";
        return false;
      }
    }
  }
  return true;
}

std::string RegistryStoreFormat(const RegistryStore& store) {
  std::string out(kRegistryHeader);
  out.append(
      "\n# Keys, each followed by its values. Names compare ignoring letter case.\n"
      "# Quoted texts escape \\\\ \\\" \\n \\r \\t and other bytes as \\xHH.\n");
  for (const auto& [folded, key] : store.keys) {
    if (folded.size() == 1 && key.values.empty()) continue;  // the roots always exist
    out.append("\nkey ");
    out.append(key.path[0]);
    for (size_t i = 1; i < key.path.size(); ++i) {
      out.push_back(' ');
      AppendQuoted(key.path[i], &out);
    }
    out.push_back('\n');
    for (const RegistryValue& value : key.values) {
      out.append(value.type == RegistryValueType::kText ? "text " : "number ");
      AppendQuoted(value.name, &out);
      out.push_back(' ');
      if (value.type == RegistryValueType::kText) {
        AppendQuoted(value.text, &out);
      } else {
        out.append(std::to_string(value.number));
      }
      out.push_back('\n');
    }
  }
  return out;
}

}  // namespace os
