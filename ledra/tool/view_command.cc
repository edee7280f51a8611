// `ledra view`: prints the rows of a view or folder in order, one a line:
// dotted position, level, note id (-1 for categories), the score when
// searching, and the column values, separated by tabs.
#include "ledra/tool/view_command.h"

#include <cstdlib>
#include <iostream>

#include "ledra/last_error.h"
#include "ledra/objects.h"
#include "ledra/vxapi.h"

namespace {

using namespace ledra;

constexpr char kViewUsage[] =
    "usage: ledra view PATH VIEW [--from POSITION] [--count N] [--search QUERY]\n"
    "Prints the rows of the view or folder VIEW (name, alias or note id) of the\n"
    "database file PATH in order, one a line: dotted position, level, note id\n"
    "(-1 for categories), the score when searching, and the column values,\n"
    "separated by tabs. --from starts at a position (default 1), --count stops\n"
    "after N rows, --search shows the documents matching a full-text query\n"
    "(the database needs a full-text index) in score order.\n";

int Fails(const std::string& what) {
  const LastError& e = LastFailure();
  std::cerr << "ledra view: " << what << (e.message.empty() ? "" : ": " + e.message) << "\n";
  return 1;
}

// Closes the handles on every path.
struct Handles {
  VXHandle database = 0;
  VXHandle index = 0;
  ~Handles() {
    if (index != 0) VXIndexClose(index);
    if (database != 0) VXDatabaseClose(database, 0);
  }
};

}  // namespace

int ViewCommand(const std::vector<std::string>& args) {
  std::string path, view, from = "1", query;
  long count = -1;
  std::vector<std::string> plain;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    bool has_value = i + 1 < args.size();
    if (a == "--help" || a == "-h") {
      std::cout << kViewUsage;
      return 0;
    } else if (a == "--from" && has_value) {
      from = args[++i];
    } else if (a == "--count" && has_value) {
      char* end = nullptr;
      count = std::strtol(args[++i].c_str(), &end, 10);
      if (*end != '\0' || count < 0) {
        std::cerr << "ledra view: --count needs a number of rows\n\n" << kViewUsage;
        return 2;
      }
    } else if (a == "--search" && has_value) {
      query = args[++i];
    } else if (a.rfind("--", 0) == 0) {
      std::cerr << "ledra view: " << a << " is not an option here (or lacks its value)\n\n" << kViewUsage;
      return 2;
    } else {
      plain.push_back(a);
    }
  }
  if (plain.size() != 2) {
    std::cerr << "ledra view: needs PATH and VIEW\n\n" << kViewUsage;
    return 2;
  }
  path = plain[0];
  view = plain[1];

  auto db = std::make_shared<Database>();
  db->server = "Local";
  db->path = path;
  if (NoteStore::Open(path, "Database " + path, 30000, &db->store) != kVXOk) return Fails("open " + path);
  Handles h;
  h.database = RegisterHandle(HandleKind::kDatabase, db);
  VXNoteId id = VXViewLocateByName(h.database, view.c_str());
  if (id == 0) id = VXFolderLocateByName(h.database, view.c_str());
  if (id == 0) {
    char* end = nullptr;
    unsigned long n = std::strtoul(view.c_str(), &end, 10);
    if (*end == '\0') id = static_cast<VXNoteId>(n);
  }
  if (id == 0) {
    std::cerr << "ledra view: " << path << " has no view or folder named \"" << view << "\"\n";
    return 1;
  }
  if (VXIndexOpen(h.database, &h.index) != kVXOk) return Fails("open an index");
  if (VXIndexOpenView(h.index, 0, id, 0) != kVXOk) return Fails("open the view " + view);
  bool searching = !query.empty();
  if (searching && VXIndexFTSearch(h.index, query.c_str(), 1, 1, 0) != kVXOk) return Fails("search");
  uint32_t columns = 0;
  if (VXColumnGetCount(h.index, &columns) != kVXOk) return Fails("columns");
  if (VXIndexSetViewPosition(h.index, from.c_str()) != kVXOk) {
    uint32_t rows = 0;
    if (VXIndexGetCount(h.index, &rows) == kVXOk && rows == 0) return 0;  // an empty view prints nothing
    return Fails("position " + from);
  }
  VXNoteId note = 0;
  VXRowInfo info;
  uint32_t code = kVXNavCurrent;
  for (long n = 0; count < 0 || n < count; ++n) {
    if (VXIndexNavigate(h.index, code, 0, &note, &info) != kVXOk) break;
    code = kVXNavNext;
    char position[256];
    if (VXIndexGetViewPosition(h.index, sizeof position, position) != kVXOk) return Fails("position");
    std::string line = std::string(position) + "\t" + std::to_string(info.level) + "\t" +
                       (note == 0xFFFFFFFFu ? std::string("-1") : std::to_string(note));
    if (searching) line += "\t" + std::to_string(info.score);
    for (uint32_t c = 1; c <= columns; ++c) {
      char cell[4096];
      uint32_t length = 0;
      if (VXViewcellFetch(h.index, c, cell, sizeof cell, &length) != kVXOk) return Fails("read a value");
      line += "\t" + std::string(cell, length);
    }
    std::cout << line << "\n";
  }
  return 0;
}
