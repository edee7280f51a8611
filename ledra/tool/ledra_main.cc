// `ledra`: the administration tool of the platform stand-in. Creates
// databases from design sources, shows their information, lists a server's
// or folder's databases, dumps and loads documents as JSON lines, checks
// integrity and reads or sets environment strings.
#include <unistd.h>

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "ledra/datetime.h"
#include "ledra/design_source.h"
#include "ledra/last_error.h"
#include "ledra/note_store.h"
#include "ledra/settings.h"
#include "ledra/tool/eval_command.h"
#include "ledra/vxapi.h"

namespace {

namespace fs = std::filesystem;
using namespace ledra;

constexpr const char* kUsage =
    "usage: ledra COMMAND [ARGUMENTS]\n"
    "\n"
    "commands:\n"
    "  create PATH --design FILE   make a database from a design source\n"
    "  info PATH                   title, replica id, counts, sizes\n"
    "  list [SERVER-OR-DIR]        databases of a server (default Local) or folder\n"
    "  dump PATH [--all]           documents as JSON lines (--all: design notes too)\n"
    "  load PATH FILE              add or replace documents from JSON lines (- = stdin)\n"
    "  check PATH                  integrity check; exit status 1 when damaged\n"
    "  env NAME [VALUE]            read or set an environment string of ledra.ini\n"
    "  eval PATH NOTEID FORMULA    evaluate a formula on a document\n"
    "\n"
    "PATH is a database file. ledra.ini is read from the working folder, or from\n"
    "the file named by CORVANE_LEDRA_INI. 'ledra COMMAND --help' explains one command.\n";

struct CommandHelp {
  const char* name;
  const char* text;
};

constexpr CommandHelp kHelp[] = {
    {"create",
     "usage: ledra create PATH --design FILE\n"
     "Makes a new database file PATH (it must not exist) holding the title, forms,\n"
     "views, folders, agents and documents of the design source FILE (JSON; see\n"
     "resources/designs/README.md). Attachments named by \"file\" are read relative\n"
     "to FILE's folder.\n"},
    {"info",
     "usage: ledra info PATH\n"
     "Prints the database's title, replica id, note counts by class, attachments,\n"
     "modification sequence, last data modification, bytes in use and free, and\n"
     "the encryption state.\n"},
    {"list",
     "usage: ledra list [SERVER-OR-DIR]\n"
     "Lists the databases below a server's data directory (a server named in\n"
     "ledra.ini, default Local) or below a folder: path, title and replica id.\n"},
    {"dump",
     "usage: ledra dump PATH [--all]\n"
     "Writes every document as one JSON line (items, attachments in base64).\n"
     "With --all, design notes too. 'ledra load' reads the same lines back.\n"},
    {"load",
     "usage: ledra load PATH FILE\n"
     "Reads JSON lines (as 'ledra dump' writes them; FILE '-' is standard input).\n"
     "A line with a UNID replaces the note of that UNID; others are added. Shows\n"
     "progress on a terminal. Nothing of a failing line is stored; the lines\n"
     "before it are.\n"},
    {"check",
     "usage: ledra check PATH\n"
     "Checks the file's structure, every note's items, every attachment's size\n"
     "and checksum and the $FILE items. Prints \"ok\" or one line per problem\n"
     "and exits with 1.\n"},
    {"env",
     "usage: ledra env NAME [VALUE]\n"
     "Prints the environment string NAME of ledra.ini, or sets it to VALUE (an\n"
     "empty VALUE removes it). Updates are atomic and safe while other programs\n"
     "write the file.\n"},
};

int Usage(const std::string& error) {
  std::cerr << "ledra: " << error << "\n\n" << kUsage;
  return 2;
}

int Failed(const std::string& what) {
  const LastError& e = LastFailure();
  std::cerr << "ledra: " << what << (e.message.empty() ? "" : ": " + e.message) << "\n";
  return 1;
}

bool WantsHelp(const std::vector<std::string>& args) {
  for (const std::string& a : args) {
    if (a == "--help" || a == "-h") return true;
  }
  return false;
}

VXStatus OpenFile(const std::string& path, std::unique_ptr<NoteStore>* store) {
  return NoteStore::Open(path, "Database " + path, 30000, store);
}

std::string Ticks(int64_t ticks) {
  Datetime d;
  d.ticks = ticks;
  return ticks == 0 ? "never" : DatetimeFormat(d) + " UTC";
}

int Create(const std::vector<std::string>& args) {
  if (args.size() != 3 || args[1] != "--design") return Usage("create needs PATH --design FILE");
  const std::string& path = args[0];
  std::ifstream in(args[2], std::ios::binary);
  if (!in) return Usage("design source " + args[2] + " cannot be read: " + std::strerror(errno));
  std::ostringstream text;
  text << in.rdbuf();
  DesignSource source;
  ParseOptions options;
  options.base_dir = fs::absolute(args[2]).parent_path().string();
  if (ParseDesignSource(text.str(), options, &source) != kVXOk) return Failed("design source " + args[2]);
  uint32_t replica[2];
  NewReplicaId(replica);
  if (NoteStore::Create(path, "Database " + path, source.title, replica) != kVXOk) return Failed("create " + path);
  std::unique_ptr<NoteStore> store;
  if (OpenFile(path, &store) != kVXOk || ApplyDesignSource(store.get(), source) != kVXOk) {
    LastError keep = LastFailure();
    store.reset();
    fs::remove(path);
    Fail(keep.code, keep.message);
    return Failed("create " + path);
  }
  std::cout << "created " << path << " (" << source.notes.size() << " notes)\n";
  return 0;
}

int Info(const std::vector<std::string>& args) {
  if (args.size() != 1) return Usage("info needs PATH");
  std::unique_ptr<NoteStore> store;
  if (OpenFile(args[0], &store) != kVXOk) return Failed("info");
  std::string title, replica, tmpl;
  int64_t seq = 0, modified = 0, used = 0, free_bytes = 0;
  if (store->GetInfo("title", &title) != kVXOk || store->GetInfo("replica_id", &replica) != kVXOk ||
      store->GetInfo("template", &tmpl) != kVXOk || store->Counters(&seq, &modified) != kVXOk ||
      store->SpaceUsage(&used, &free_bytes) != kVXOk) {
    return Failed("info");
  }
  unsigned long a = 0, b = 0;
  std::sscanf(replica.c_str(), "%lu %lu", &a, &b);
  std::printf("title: %s\n", title.c_str());
  std::printf("replica id: %lxg%lx\n", a, b);
  if (!tmpl.empty()) std::printf("made from: %s\n", tmpl.c_str());
  static const std::pair<uint32_t, const char*> kClasses[] = {
      {kVXClassDocument, "documents"}, {kVXClassForm, "forms"},       {kVXClassView, "views and folders"},
      {kVXClassAgent, "agents"},       {kVXClassAbout, "about"},      {kVXClassUsing, "using"},
      {kVXClassReplFormula, "replication formulas"}};
  for (const auto& [cls, name] : kClasses) std::printf("%s: %zu\n", name, store->NotesOfClass(cls).size());
  std::printf("modification sequence: %" PRId64 "\n", seq);
  std::printf("last data modification: %s\n", Ticks(modified).c_str());
  std::printf("bytes in use: %" PRId64 "\nbytes free: %" PRId64 "\n", used, free_bytes);
  int64_t level = store->InfoNumber("encryption_level", 0);
  if (level > 0) {
    std::printf("encryption: level %" PRId64 " was requested; the file is NOT encrypted\n", level);
  } else {
    std::printf("encryption: none\n");
  }
  std::printf("full-text index: %s\n", store->InfoNumber("ft_present", 0) ? "present" : "none");
  return 0;
}

int List(const std::vector<std::string>& args) {
  if (args.size() > 1) return Usage("list takes at most one SERVER-OR-DIR");
  std::string where = args.empty() ? "Local" : args[0];
  std::optional<std::string> dir = ServerDirectory(where);
  std::error_code ec;
  if (!args.empty() && fs::is_directory(args[0], ec)) dir = args[0];
  if (!dir || !fs::is_directory(*dir, ec)) {
    Fail(kVXServerNotFound, where + " is neither a server named in " + SettingsFile() + " nor a folder");
    return Failed("list");
  }
  std::vector<std::string> lines;
  for (auto it = fs::recursive_directory_iterator(*dir, fs::directory_options::skip_permission_denied, ec);
       it != fs::recursive_directory_iterator(); it.increment(ec)) {
    if (ec) break;
    if (!it->is_regular_file(ec)) continue;
    std::string ext = it->path().extension().string();
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (ext != ".ldf" && ext != ".ldw" && ext != ".ltf" && ext != ".clp" && ext != ".box") continue;
    std::unique_ptr<NoteStore> store;
    std::string rel = fs::relative(it->path(), *dir, ec).string();
    if (OpenFile(it->path().string(), &store) != kVXOk) {
      lines.push_back(rel + "\t(not readable: " + LastFailure().message + ")");
      continue;
    }
    std::string title, replica;
    (void)store->GetInfo("title", &title);
    (void)store->GetInfo("replica_id", &replica);
    unsigned long a = 0, b = 0;
    std::sscanf(replica.c_str(), "%lu %lu", &a, &b);
    char id[40];
    std::snprintf(id, sizeof id, "%lxg%lx", a, b);
    lines.push_back(rel + "\t" + title + "\t" + id);
  }
  std::sort(lines.begin(), lines.end());
  for (const std::string& l : lines) std::cout << l << "\n";
  return 0;
}

int Dump(const std::vector<std::string>& args) {
  if (args.empty() || args.size() > 2 || (args.size() == 2 && args[1] != "--all")) return Usage("dump needs PATH [--all]");
  std::unique_ptr<NoteStore> store;
  if (OpenFile(args[0], &store) != kVXOk) return Failed("dump");
  uint32_t mask = args.size() == 2 ? 0xFFFFFFFFu : kVXClassDocument;
  for (VXNoteId id : store->NotesOfClass(mask)) {
    Note note;
    std::string line;
    if (store->Load(id, &note) != kVXOk || DumpNote(store.get(), note, &line) != kVXOk) return Failed("dump");
    std::cout << line << "\n";
  }
  std::cout.flush();
  return std::cout ? 0 : Failed("dump: output cannot be written");
}

int Load(const std::vector<std::string>& args) {
  if (args.size() != 2) return Usage("load needs PATH FILE");
  std::unique_ptr<NoteStore> store;
  if (OpenFile(args[0], &store) != kVXOk) return Failed("load");
  std::ifstream file;
  std::istream* in = &std::cin;
  if (args[1] != "-") {
    file.open(args[1], std::ios::binary);
    if (!file) return Usage("file " + args[1] + " cannot be read: " + std::strerror(errno));
    in = &file;
  }
  ParseOptions options;
  options.base_dir = args[1] == "-" ? fs::current_path().string() : fs::absolute(args[1]).parent_path().string();
  bool terminal = ::isatty(STDERR_FILENO) != 0;
  std::string line;
  size_t number = 0, loaded = 0;
  // Lines are committed in groups of 1000: a failing line leaves the groups
  // before it stored.
  if (store->BeginBatch() != kVXOk) return Failed("load");
  while (std::getline(*in, line)) {
    ++number;
    if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
    nlohmann::ordered_json doc = nlohmann::ordered_json::parse(line, nullptr, false);
    PendingNote pending;
    std::string where = args[1] + ":" + std::to_string(number);
    if (doc.is_discarded()) {
      Fail(kVXBadArgument, where + ": not valid JSON");
    } else if (ParseDocument(doc, options, where, &pending) == kVXOk && ApplyDocument(store.get(), &pending) == kVXOk) {
      ++loaded;
      if (loaded % 1000 == 0) {
        if (store->CommitBatch() != kVXOk || store->BeginBatch() != kVXOk) return Failed("load");
        if (terminal) std::fprintf(stderr, "\rloaded %zu documents", loaded);
      }
      continue;
    }
    LastError keep = LastFailure();
    if (store->CommitBatch() != kVXOk) return Failed("load");
    if (terminal) std::fprintf(stderr, "\n");
    Fail(keep.code, keep.message);
    return Failed("load stopped after " + std::to_string(loaded) + " documents");
  }
  if (store->CommitBatch() != kVXOk) return Failed("load");
  if (terminal) std::fprintf(stderr, "\r");
  std::cout << "loaded " << loaded << " documents into " << args[0] << "\n";
  return 0;
}

int Check(const std::vector<std::string>& args) {
  if (args.size() != 1) return Usage("check needs PATH");
  std::unique_ptr<NoteStore> store;
  if (OpenFile(args[0], &store) != kVXOk) return Failed("check");
  std::vector<std::string> problems;
  if (store->Check(&problems) != kVXOk) return Failed("check");
  if (problems.empty()) {
    std::cout << "ok\n";
    return 0;
  }
  for (const std::string& p : problems) std::cout << p << "\n";
  std::cerr << "ledra: check: " << args[0] << " has " << problems.size() << " problem(s)\n";
  return 1;
}

int Env(const std::vector<std::string>& args) {
  if (args.empty() || args.size() > 2) return Usage("env needs NAME [VALUE]");
  if (args.size() == 2) {
    if (WriteSetting(args[0], args[1]) != kVXOk) return Failed("env");
    return 0;
  }
  std::string value;
  if (ReadSetting(args[0], &value) != kVXOk) return Failed("env");
  std::cout << value << "\n";
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) return Usage("no command given");
  if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
    std::cout << kUsage;
    return 0;
  }
  std::string command = args[0];
  args.erase(args.begin());
  for (const CommandHelp& h : kHelp) {
    if (command == h.name && WantsHelp(args)) {
      std::cout << h.text;
      return 0;
    }
  }
  try {
    if (command == "create") return Create(args);
    if (command == "info") return Info(args);
    if (command == "list") return List(args);
    if (command == "dump") return Dump(args);
    if (command == "load") return Load(args);
    if (command == "check") return Check(args);
    if (command == "env") return Env(args);
    if (command == "eval") return EvalCommand(args);
  } catch (const std::exception& e) {
    std::cerr << "ledra: " << command << ": " << e.what() << "\n";
    return 1;
  }
  return Usage("unknown command \"" + command + "\"");
}
