// The full-text index on SQLite FTS5, and the query language of searches.
#include "ledra/view/fulltext.h"

#include <sqlite3.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cmath>

#include "ledra/last_error.h"
#include "ledra/richtext/composite.h"
#include "ledra/richtext/status.h"
#include "ledra/view/view_api.h"

namespace ledra {
namespace {

std::atomic<RichTextToText> rich_text_reader{nullptr};

constexpr const char* kCreateTable =
    "CREATE VIRTUAL TABLE IF NOT EXISTS ledra_fulltext USING fts5(body, "
    "tokenize = 'unicode61 remove_diacritics 2')";

// One statement, finalised on every path.
struct Statement {
  sqlite3_stmt* s = nullptr;
  ~Statement() { sqlite3_finalize(s); }
};

VXStatus SqlFail(NoteStore* store, const std::string& what) {
  return Fail(kVXStorageError, store->label() + ": " + what + " (" + sqlite3_errmsg(store->db()) + ")",
              static_cast<uint32_t>(sqlite3_extended_errcode(store->db())));
}

VXStatus Exec(NoteStore* store, const char* sql, const std::string& what) {
  if (sqlite3_exec(store->db(), sql, nullptr, nullptr, nullptr) != SQLITE_OK) return SqlFail(store, what);
  return kVXOk;
}

bool IsOperatorChar(char c) { return c == '(' || c == ')' || c == '"' || c == '&' || c == '|' || c == '!'; }

std::string Quoted(const std::string& text) {
  std::string q = "\"";
  for (char c : text) {
    if (c == '"') q += '"';
    q += c;
  }
  return q + "\"";
}

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

// The words of a rich-text item as the composite calls list them; a damaged
// item adds nothing rather than failing the whole index.
std::string RichTextWords(const std::string& stored) {
  std::string words;
  richtext::ByteSpan bytes(reinterpret_cast<const uint8_t*>(stored.data()), stored.size());
  if (richtext::CompositeListText(bytes, "\n", &words) != richtext::kRtOk) words.clear();
  return words;
}

}  // namespace

void RegisterRichTextToText(RichTextToText reader) { rich_text_reader.store(reader); }

std::string NoteSearchText(const Note& note) {
  std::string text;
  RichTextToText rich = rich_text_reader.load();
  for (const Item& item : note.items) {
    if (SameName(item.name, "Form") || SameName(item.name, "$FILE")) continue;
    switch (item.type) {
      case kVXTypeText:
        text += item.value;
        text += '\n';
        break;
      case kVXTypeTextList:
        for (const std::string& e : SplitTextList(item.value)) {
          text += e;
          text += '\n';
        }
        break;
      case kVXTypeRichText:
        text += rich != nullptr ? rich(item.value) : RichTextWords(item.value);
        text += '\n';
        break;
      default:
        break;
    }
  }
  return text;
}

VXStatus FullTextUpdate(NoteStore* store) {
  int64_t since = store->InfoNumber("ft_seq", 0);
  if (store->InfoNumber("ft_present", 0) != 1) since = 0;
  std::vector<NoteChange> changes;
  // A savepoint nests inside a batch the caller may hold open.
  if (VXStatus s = Exec(store, "SAVEPOINT ledra_ft", "cannot start the full-text update"); s != kVXOk) return s;
  VXStatus s = Exec(store, kCreateTable, "cannot make the full-text index (FTS5)");
  if (s == kVXOk && since == 0) s = Exec(store, "DELETE FROM ledra_fulltext", "cannot empty the full-text index");
  if (s == kVXOk) s = store->ChangedSince(since, &changes);
  Statement del, ins;
  if (s == kVXOk &&
      (sqlite3_prepare_v2(store->db(), "DELETE FROM ledra_fulltext WHERE rowid = ?1", -1, &del.s, nullptr) != SQLITE_OK ||
       sqlite3_prepare_v2(store->db(), "INSERT INTO ledra_fulltext(rowid, body) VALUES (?1, ?2)", -1, &ins.s,
                          nullptr) != SQLITE_OK)) {
    s = SqlFail(store, "cannot write the full-text index");
  }
  int64_t last = since;
  for (size_t i = 0; s == kVXOk && i < changes.size(); ++i) {
    const NoteChange& c = changes[i];
    last = std::max(last, c.sequence);
    if (c.note_class != kVXClassDocument) continue;
    sqlite3_bind_int64(del.s, 1, c.id);
    if (sqlite3_step(del.s) != SQLITE_DONE) s = SqlFail(store, "cannot write the full-text index");
    sqlite3_reset(del.s);
    if (s != kVXOk || c.deleted) continue;
    Note note;
    VXStatus loaded = store->Load(c.id, &note);
    if (loaded == kVXNoteNotFound) continue;
    if (loaded != kVXOk) {
      s = loaded;
      break;
    }
    std::string body = NoteSearchText(note);
    sqlite3_bind_int64(ins.s, 1, c.id);
    sqlite3_bind_text(ins.s, 2, body.data(), static_cast<int>(body.size()), SQLITE_TRANSIENT);
    if (sqlite3_step(ins.s) != SQLITE_DONE) s = SqlFail(store, "cannot write the full-text index");
    sqlite3_reset(ins.s);
  }
  if (s == kVXOk) s = store->SetInfo("ft_seq", std::to_string(last));
  if (s == kVXOk) s = store->SetInfo("ft_present", "1");
  if (s == kVXOk) s = store->SetInfo("ft_updated", std::to_string(NowTicks()));
  if (s == kVXOk) return Exec(store, "RELEASE ledra_ft", "cannot finish the full-text update");
  LastError keep = LastFailure();
  sqlite3_exec(store->db(), "ROLLBACK TO ledra_ft; RELEASE ledra_ft", nullptr, nullptr, nullptr);
  return Fail(keep.code, keep.message, keep.detail);
}

VXStatus FullTextDelete(NoteStore* store) {
  if (VXStatus s = Exec(store, "SAVEPOINT ledra_ft", "cannot delete the full-text index"); s != kVXOk) return s;
  VXStatus s = Exec(store, "DROP TABLE IF EXISTS ledra_fulltext", "cannot delete the full-text index");
  if (s == kVXOk) s = store->SetInfo("ft_present", "0");
  if (s == kVXOk) s = store->SetInfo("ft_updated", "0");
  if (s == kVXOk) s = store->SetInfo("ft_seq", "0");
  if (s == kVXOk) return Exec(store, "RELEASE ledra_ft", "cannot delete the full-text index");
  LastError keep = LastFailure();
  sqlite3_exec(store->db(), "ROLLBACK TO ledra_ft; RELEASE ledra_ft", nullptr, nullptr, nullptr);
  return Fail(keep.code, keep.message, keep.detail);
}

VXStatus TranslateQuery(const std::string& query, std::string* fts) {
  std::string out;
  // What the last token was, to refuse operators without operands.
  enum class Last { kStart, kTerm, kOperator, kOpen, kClose } last = Last::kStart;
  int depth = 0;
  auto bad = [&](const std::string& why) {
    std::string shown = query;
    std::replace(shown.begin(), shown.end(), '\0', ' ');
    return Fail(kVXBadQuery, "The search \"" + shown + "\" cannot be read: " + why);
  };
  // FTS5 refuses a query that holds a NUL byte (a "%00" in a URL).
  if (query.find('\0') != std::string::npos) return bad("it holds a NUL character");
  // Words side by side must all occur; FTS5 takes that only between plain
  // words, so the AND is always written out.
  auto join = [&]() {
    if (last == Last::kTerm || last == Last::kClose) out += " AND";
    if (!out.empty()) out += ' ';
  };
  auto term = [&](const std::string& t) -> VXStatus {
    join();
    out += t;
    last = Last::kTerm;
    return kVXOk;
  };
  auto op = [&](const char* name) -> VXStatus {
    // "a AND NOT b" is FTS5's "a NOT b"; NOT after OR has no FTS5 form.
    if (std::string(name) == "NOT" && last == Last::kOperator) {
      if (out.size() >= 4 && out.compare(out.size() - 4, 4, " AND") == 0) {
        out.replace(out.size() - 3, 3, "NOT");
        return kVXOk;
      }
      return bad("NOT may follow a word or AND, not OR");
    }
    if (last == Last::kStart || last == Last::kOperator || last == Last::kOpen) {
      return bad(std::string(name) + " needs a word before it");
    }
    out += ' ';
    out += name;
    last = Last::kOperator;
    return kVXOk;
  };
  size_t i = 0;
  while (i < query.size()) {
    char c = query[i];
    if (std::isspace(static_cast<unsigned char>(c))) {
      ++i;
      continue;
    }
    VXStatus s = kVXOk;
    if (c == '"') {
      size_t end = query.find('"', i + 1);
      if (end == std::string::npos) return bad("a quoted phrase is not closed");
      std::string phrase = query.substr(i + 1, end - i - 1);
      i = end + 1;
      if (phrase.find_first_not_of(" \t\r\n") == std::string::npos) continue;
      s = term(Quoted(phrase));
    } else if (c == '(') {
      join();
      out += '(';
      ++depth;
      last = Last::kOpen;
      ++i;
    } else if (c == ')') {
      if (depth == 0) return bad("a \")\" has no \"(\"");
      if (last == Last::kOperator || last == Last::kOpen) return bad("nothing stands before \")\"");
      out += " )";
      --depth;
      last = Last::kClose;
      ++i;
    } else if (c == '&' || c == '|' || c == '!') {
      s = op(c == '&' ? "AND" : c == '|' ? "OR" : "NOT");
      ++i;
    } else {
      size_t start = i;
      while (i < query.size() && !std::isspace(static_cast<unsigned char>(query[i])) && !IsOperatorChar(query[i])) ++i;
      std::string word = query.substr(start, i - start);
      std::string upper = Upper(word);
      if (upper == "AND" || upper == "OR" || upper == "NOT") {
        s = op(upper.c_str());
      } else {
        bool prefix = word.size() > 1 && word.back() == '*';
        while (!word.empty() && word.back() == '*') word.pop_back();
        if (word.empty()) return bad("\"*\" must follow the start of a word");
        s = term(Quoted(word) + (prefix ? "*" : ""));
      }
    }
    if (s != kVXOk) return s;
  }
  if (depth != 0) return bad("a \"(\" is not closed");
  if (last == Last::kOperator) return bad("the search ends with an operator");
  if (out.empty()) return bad("it has no words");
  *fts = out;
  return kVXOk;
}

VXStatus FullTextSearch(NoteStore* store, const std::string& query, std::vector<FullTextHit>* hits) {
  hits->clear();
  if (store->InfoNumber("ft_present", 0) != 1) {
    return Fail(kVXNoFTIndex, store->label() + " has no full-text index");
  }
  std::string fts;
  if (VXStatus s = TranslateQuery(query, &fts); s != kVXOk) return s;
  Statement q;
  if (sqlite3_prepare_v2(store->db(),
                         "SELECT rowid, bm25(ledra_fulltext) FROM ledra_fulltext WHERE ledra_fulltext MATCH ?1",
                         -1, &q.s, nullptr) != SQLITE_OK) {
    return SqlFail(store, "cannot search the full-text index");
  }
  sqlite3_bind_text(q.s, 1, fts.c_str(), -1, SQLITE_TRANSIENT);
  std::vector<std::pair<VXNoteId, double>> raw;
  int rc;
  while ((rc = sqlite3_step(q.s)) == SQLITE_ROW) {
    raw.emplace_back(static_cast<VXNoteId>(sqlite3_column_int64(q.s, 0)), sqlite3_column_double(q.s, 1));
  }
  if (rc != SQLITE_DONE) {
    return Fail(kVXBadQuery, "The search \"" + query + "\" cannot be run: " + sqlite3_errmsg(store->db()));
  }
  // bm25 is negative, lower is better: the best match scores 100 and the
  // others in proportion, never below 1.
  double best = 0;
  for (const auto& r : raw) best = std::min(best, r.second);
  for (const auto& [id, rank] : raw) {
    double ratio = best < 0 ? rank / best : 1.0;
    uint32_t score = static_cast<uint32_t>(std::lround(std::clamp(ratio, 0.0, 1.0) * 100));
    hits->push_back(FullTextHit{id, std::max<uint32_t>(score, 1)});
  }
  std::sort(hits->begin(), hits->end(), [](const FullTextHit& a, const FullTextHit& b) {
    return a.score != b.score ? a.score > b.score : a.id < b.id;
  });
  return kVXOk;
}

}  // namespace ledra
