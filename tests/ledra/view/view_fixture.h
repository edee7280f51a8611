// Databases made from design sources for the view tests, and a dump of a
// view's rows ("position level id col1|col2|...") to compare whole trees.
#pragma once

#include <string>
#include <vector>

#include "ledra/design_source.h"
#include "ledra/note.h"
#include "ledra/note_store.h"
#include "tests/ledra/ledra_fixture.h"

class ViewTest : public LedraTest {
 protected:
  // Creates Local!!path from the design source text and opens it.
  VXHandle MakeFrom(const std::string& path, const std::string& design) {
    ledra::DesignSource source;
    EXPECT_EQ(ledra::ParseDesignSource(design, ledra::ParseOptions(), &source), kVXOk) << Message();
    uint32_t replica[2] = {1, 2};
    std::string file = data() + "/" + path;
    EXPECT_EQ(ledra::NoteStore::Create(file, path, source.title, replica), kVXOk) << Message();
    {
      std::unique_ptr<ledra::NoteStore> store;
      EXPECT_EQ(ledra::NoteStore::Open(file, path, 1000, &store), kVXOk) << Message();
      EXPECT_EQ(ledra::ApplyDesignSource(store.get(), source), kVXOk) << Message();
    }
    VXHandle db = 0;
    EXPECT_EQ(VXDatabaseOpen("Local", path.c_str(), 0, &db), kVXOk) << Message();
    return db;
  }

  VXHandle OpenView(VXHandle db, const std::string& name) {
    VXNoteId view = VXViewLocateByName(db, name.c_str());
    EXPECT_NE(view, 0u) << name;
    VXHandle index = 0;
    EXPECT_EQ(VXIndexOpen(db, &index), kVXOk) << Message();
    EXPECT_EQ(VXIndexOpenView(index, 0, view, 0), kVXOk) << Message();
    return index;
  }

  // The note id of the document whose UNID is "NgNgNgNg".
  static VXNoteId ByUnid(VXHandle db, uint32_t n) {
    VXUnid u;
    u.words[0] = u.words[1] = u.words[2] = u.words[3] = n;
    return VXDocumentLocateByUnid(db, &u);
  }

 public:
  static std::string Position(VXHandle index) {
    char text[256];
    if (VXIndexGetViewPosition(index, sizeof text, text) != kVXOk) return "<none>";
    return text;
  }

  static std::string Cells(VXHandle index) {
    uint32_t columns = 0;
    EXPECT_EQ(VXColumnGetCount(index, &columns), kVXOk);
    std::string line;
    for (uint32_t c = 1; c <= columns; ++c) {
      char cell[512];
      uint32_t n = 0;
      EXPECT_EQ(VXViewcellFetch(index, c, cell, sizeof cell, &n), kVXOk) << Message();
      if (c > 1) line += "|";
      line += std::string(cell, n);
    }
    return line;
  }

  // Every row from the first, in order: "position level id cells".
  static std::vector<std::string> Rows(VXHandle index) {
    std::vector<std::string> rows;
    VXNoteId id = 0;
    VXRowInfo info;
    for (VXStatus s = VXIndexNavigate(index, 1, 2, &id, &info); s == kVXOk;
         s = VXIndexNavigate(index, 0, 0, &id, &info)) {
      rows.push_back(Position(index) + " " + std::to_string(info.level) + " " +
                     (id == 0xFFFFFFFFu ? std::string("-1") : std::to_string(id)) + " " + Cells(index));
    }
    return rows;
  }

  std::string Tool(const std::string& args) {
    std::string command = std::string(CORVANE_BIN_DIR) + "/ledra " + args + " 2>&1";
    std::string out;
    FILE* p = popen(command.c_str(), "r");
    if (p == nullptr) return "<popen failed>";
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    pclose(p);
    return out;
  }
};
