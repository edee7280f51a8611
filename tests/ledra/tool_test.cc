// The `ledra` tool as a user runs it: help for every command, clear failures
// with a non-zero exit status, a dump/load round trip and a check that
// finds damage.
#include <sqlite3.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>

#include "tests/ledra/ledra_fixture.h"

namespace {

struct ToolRun {
  int status;
  std::string output;
};

ToolRun Tool(const std::string& args) {
  std::string command = "\"" CORVANE_BIN_DIR "/ledra\" " + args + " 2>&1 </dev/null";
  FILE* p = popen(command.c_str(), "r");
  ToolRun r{-1, ""};
  if (p == nullptr) return r;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.output.append(buf, n);
  int status = pclose(p);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

const std::string kDesign = CORVANE_SOURCE_DIR "/tests/ledra/data/sample_design.json";

TEST_F(LedraTest, EveryCommandHasHelp) {
  for (const char* command : {"create", "info", "list", "dump", "load", "check", "env"}) {
    ToolRun r = Tool(std::string(command) + " --help");
    EXPECT_EQ(r.status, 0) << command;
    EXPECT_EQ(r.output.rfind(std::string("usage: ledra ") + command, 0), 0u) << r.output;
  }
  ToolRun r = Tool("--help");
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.output.find("commands:"), std::string::npos);
}

TEST_F(LedraTest, ToolFailuresAreClear) {
  std::ofstream(dir_ + "/bad.json") << "{\"forms\": [{\"name\": \"F\", \"fields\": [{\"name\": \"X\", \"type\": \"blob\"}]}]}";
  std::ofstream(dir_ + "/bad.jsonl") << "{\"items\": {\"A\": \"ok\"}}\n{\"items\": 5}\n";
  Tool("create " + dir_ + "/db.ldf --design " + kDesign);
  struct {
    std::string args;
    int status;
    std::string message;
  } cases[] = {
      {"", 2, "ledra: no command given"},
      {"frobnicate", 2, "ledra: unknown command \"frobnicate\""},
      {"info", 2, "ledra: info needs PATH"},
      {"info " + dir_ + "/none.ldf", 1, "ledra: info: Database " + dir_ + "/none.ldf not found"},
      {"info " + dir_ + "/ledra.ini", 1, "is not a Ledra database"},
      {"create " + dir_ + "/db.ldf --design " + kDesign, 1, "already exists"},
      {"create " + dir_ + "/x.ldf --design " + dir_ + "/bad.json", 1,
       "forms[0].fields[0].type: type must be one of"},
      {"create " + dir_ + "/x.ldf", 2, "create needs PATH --design FILE"},
      {"load " + dir_ + "/db.ldf " + dir_ + "/bad.jsonl", 1,
       "load stopped after 1 documents: " + dir_ + "/bad.jsonl:2.items: must be an object"},
      {"list /no/such/folder", 1, "is neither a server named in"},
      {"env", 2, "env needs NAME [VALUE]"},
  };
  for (const auto& c : cases) {
    ToolRun r = Tool(c.args);
    EXPECT_EQ(r.status, c.status) << c.args << "\n" << r.output;
    EXPECT_NE(r.output.find(c.message), std::string::npos) << c.args << "\n" << r.output;
  }
  EXPECT_FALSE(std::filesystem::exists(dir_ + "/x.ldf"));  // a failed create leaves nothing
}

TEST_F(LedraTest, DumpLoadRoundTripAndCheckFindsDamage) {
  std::string a = data() + "/a.ldf", b = data() + "/b.ldf";
  ASSERT_EQ(Tool("create " + a + " --design " + kDesign).status, 0);
  std::ofstream(dir_ + "/empty.json") << "{\"title\": \"Empty\"}";
  ASSERT_EQ(Tool("create " + b + " --design " + dir_ + "/empty.json").status, 0);
  ToolRun dump = Tool("dump " + a);
  ASSERT_EQ(dump.status, 0);
  std::ofstream(dir_ + "/dump.jsonl") << dump.output;
  ToolRun load = Tool("load " + b + " " + dir_ + "/dump.jsonl");
  ASSERT_EQ(load.status, 0) << load.output;
  EXPECT_EQ(load.output, "loaded 2 documents into " + b + "\n");
  // Loading again replaces by UNID rather than adding.
  ASSERT_EQ(Tool("load " + b + " " + dir_ + "/dump.jsonl").status, 0);
  ToolRun again = Tool("dump " + b);
  // Note ids and times differ between the files; everything after them matches.
  auto strip = [](const std::string& text) {
    std::string out;
    size_t start = 0;
    while (start < text.size()) {
      size_t end = text.find('\n', start);
      std::string line = text.substr(start, end - start);
      out += line.substr(line.find("\"items\"")) + "\n";
      start = end + 1;
    }
    return out;
  };
  EXPECT_EQ(strip(again.output), strip(dump.output));
  EXPECT_EQ(Tool("check " + b).output, "ok\n");

  ToolRun info = Tool("info " + a);
  EXPECT_NE(info.output.find("title: Sample Discussion\n"), std::string::npos);
  EXPECT_NE(info.output.find("documents: 2\n"), std::string::npos);
  ToolRun list = Tool("list");
  EXPECT_NE(list.output.find("a.ldf\tSample Discussion\t"), std::string::npos) << list.output;

  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(a.c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db, "UPDATE attachments SET data = X'00' WHERE name = 'notes.txt'", nullptr, nullptr, nullptr),
            SQLITE_OK);
  sqlite3_close(db);
  ToolRun check = Tool("check " + a);
  EXPECT_EQ(check.status, 1);
  EXPECT_NE(check.output.find("attachment notes.txt: size differs"), std::string::npos) << check.output;

  ASSERT_EQ(Tool("env '$Corvane_LinesInView' 30").status, 0);
  EXPECT_EQ(Tool("env '$Corvane_LinesInView'").output, "30\n");
}

}  // namespace
