// Rich text written as markup in design sources, and the shipped databases:
// markup goes in through `ledra create`, comes back the same through
// `ledra dump`; every design source in resources/designs/ installs into a
// program folder whose databases pass `ledra check`, and a second install
// keeps what the user added in between.
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include <nlohmann/json.hpp>

#include "ledra/design_source.h"
#include "ledra/last_error.h"
#include "tests/ledra/ledra_fixture.h"

namespace {

struct ShellRun {
  int status;
  std::string output;
};

ShellRun Shell(const std::string& command) {
  FILE* p = popen((command + " 2>&1 </dev/null").c_str(), "r");
  ShellRun r{-1, ""};
  if (p == nullptr) return r;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.output.append(buf, n);
  int status = pclose(p);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

std::string Ledra(const std::string& args) { return "\"" CORVANE_BIN_DIR "/ledra\" " + args; }

// Markup in a form body and in a document item, covering the constructs a
// design source uses; each must come back from a dump as written.
const char* const kMarkups[] = {
    "{pardef 1}{pardef 2 left=720 bullet}{use 1}Plain, {font b color=2}bold red{font}, plain{p}"
    "{use 2}first point{p}second point{p}",
    "{pardef 1 hidewhen=\"@IsNewDoc\"}{use 1}Shown unless composing{p}",
    "{pardef 1}{use 1}[<HR>]{p}",
    "{pardef 1}{use 1}{hotspot button formula=\"@Command([Compose]; \\\"Topic\\\")\"}{button \"New Topic\"}{/hotspot}{p}",
    "{pardef 1}{use 1}{section \"More\"}inside{p}",
    "{pardef 1}{table fit left=100 right=100}{cell row=1 left=0 right=2880 border=1 bg=16}{use 1}cell{p}{/table}",
};

TEST_F(LedraTest, MarkupInDesignSourcesRoundTripsThroughDump) {
  for (const char* markup : kMarkups) {
    nlohmann::ordered_json source = {
        {"title", "Markup"},
        {"forms", {{{"name", "Topic"}, {"body", markup}}}},
        {"documents", {{{"unid", "1g2g3g4g"},
                        {"items", {{"Form", "Topic"}, {"Body", {{"type", "richtext"}, {"markup", markup}}}}}}}}};
    std::ofstream(dir_ + "/design.json") << source.dump();
    std::filesystem::remove(dir_ + "/m.ldf");
    ShellRun made = Shell(Ledra("create " + dir_ + "/m.ldf --design " + dir_ + "/design.json"));
    ASSERT_EQ(made.status, 0) << markup << "\n" << made.output;
    ShellRun dump = Shell(Ledra("dump " + dir_ + "/m.ldf --all"));
    ASSERT_EQ(dump.status, 0) << dump.output;
    // The writer may lay the markup out differently; parsing both must give
    // the same records, and the dump's markup must parse back to itself.
    int bodies = 0;
    size_t at = 0;
    while (at < dump.output.size()) {
      size_t end = dump.output.find('\n', at);
      if (end == std::string::npos) end = dump.output.size();
      auto line = nlohmann::ordered_json::parse(dump.output.substr(at, end - at), nullptr, false);
      at = end + 1;
      if (!line.is_object() || !line.contains("items")) continue;
      for (const char* name : {"$Body", "Body"}) {
        if (!line["items"].contains(name)) continue;
        const auto& item = line["items"][name];
        ASSERT_TRUE(item.contains("markup")) << item.dump();
        ledra::PendingNote written, dumped;
        ledra::ParseOptions options;
        options.base_dir = dir_;
        nlohmann::ordered_json a = {{"items", {{"X", {{"type", "richtext"}, {"markup", markup}}}}}};
        nlohmann::ordered_json b = {{"items", {{"X", item}}}};
        ASSERT_EQ(ledra::ParseDocument(a, options, "a", &written), kVXOk);
        ASSERT_EQ(ledra::ParseDocument(b, options, "b", &dumped), kVXOk) << ledra::LastFailure().message;
        EXPECT_EQ(written.note.items[0].value, dumped.note.items[0].value) << markup;
        ++bodies;
      }
    }
    EXPECT_EQ(bodies, 2) << markup;
  }
}

// Bytes that are not whole records cannot be written as markup: the dump
// keeps them as base64, byte for byte.
TEST_F(LedraTest, DamagedRichTextIsDumpedAsBytes) {
  std::ofstream(dir_ + "/design.json")
      << R"({"documents": [{"items": {"Body": {"type": "richtext", "base64": "AQAJAAAAaGk="}}}]})";
  ShellRun made = Shell(Ledra("create " + dir_ + "/d.ldf --design " + dir_ + "/design.json"));
  ASSERT_EQ(made.status, 0) << made.output;
  ShellRun dump = Shell(Ledra("dump " + dir_ + "/d.ldf"));
  EXPECT_NE(dump.output.find(R"("Body":{"type":"richtext","base64":"AQAJAAAAaGk="})"), std::string::npos)
      << dump.output;
}

TEST_F(LedraTest, BadMarkupIsRefusedWithItsPlace) {
  struct {
    const char* source;
    const char* message;
  } cases[] = {
      {R"({"forms": [{"name": "F", "body": 5}]})", "forms[0].body: must be rich-text markup"},
      {R"({"forms": [{"name": "F", "body": "{nosuchtag}"}]})", "forms[0].body.markup: line 1"},
      {R"({"documents": [{"items": {"B": {"type": "richtext", "markup": 3}}}]})", "documents[0].items.B.markup: must be text"},
      {R"({"documents": [{"items": {"B": {"type": "richtext", "markup": "{image src=\"x.tif\"}"}}}]})",
       "image files cannot be read here"},
      {R"({"documents": [{"items": {"B": {"type": "richtext", "markup": "", "base64": ""}}}]})",
       "give either markup or base64"},
  };
  for (const auto& c : cases) {
    ledra::DesignSource source;
    EXPECT_NE(ledra::ParseDesignSource(c.source, ledra::ParseOptions{}, &source), kVXOk) << c.source;
    EXPECT_NE(ledra::LastFailure().message.find(c.message), std::string::npos)
        << c.source << "\n" << ledra::LastFailure().message;
  }
}

// Every *.json in resources/designs/ gives a database that passes the check;
// a second install creates nothing and keeps a document added in between.
TEST_F(LedraTest, InstalledDatabasesPassCheckAndSurviveReinstall) {
  // The install copies whatever programs the build has; this test needs only
  // ledra, so when corvex is not built a placeholder stands in for it.
  const std::string bin = dir_ + "/bin";
  std::filesystem::create_directories(bin);
  for (const char* program : {"ledra", "corvex"}) {
    std::string built = std::string(CORVANE_BIN_DIR "/") + program;
    if (std::filesystem::exists(built)) {
      std::filesystem::create_symlink(built, bin + "/" + program);
    } else {
      std::ofstream(bin + "/" + program) << "#!/bin/sh\nexit 1\n";
      std::filesystem::permissions(bin + "/" + program, std::filesystem::perms::owner_all);
    }
  }
  const std::string install = "CORVANE_BIN_DIR=\"" + bin + "\" \"" CORVANE_SOURCE_DIR "/scripts/install\" ";
  const std::string folder = dir_ + "/program";
  ShellRun first = Shell(install + folder);
  ASSERT_EQ(first.status, 0) << first.output;
  int databases = 0;
  for (const auto& entry : std::filesystem::directory_iterator(CORVANE_SOURCE_DIR "/resources/designs")) {
    if (entry.path().extension() != ".json") continue;
    std::ifstream in(entry.path());
    auto design = nlohmann::json::parse(in, nullptr, false);
    ASSERT_TRUE(design.is_object()) << entry.path();
    std::string target = design.value("target", entry.path().stem().string() + ".ldf");
    EXPECT_NE(first.output.find("created data/" + target), std::string::npos) << first.output;
    ShellRun check = Shell("cd " + folder + " && " + Ledra("check data/" + target));
    EXPECT_EQ(check.status, 0) << target << "\n" << check.output;
    ++databases;
  }
  EXPECT_GE(databases, 7);

  const std::string discuss = folder + "/data/Samples/discuss.ldf";
  std::ofstream(dir_ + "/added.jsonl") << R"({"items": {"Form": "Main Topic", "Subject": "Added by the user"}})" << "\n";
  ShellRun load = Shell(Ledra("load " + discuss + " " + dir_ + "/added.jsonl"));
  ASSERT_EQ(load.status, 0) << load.output;
  ShellRun second = Shell(install + folder);
  ASSERT_EQ(second.status, 0) << second.output;
  EXPECT_EQ(second.output.find("created"), std::string::npos) << second.output;
  ShellRun dump = Shell(Ledra("dump " + discuss));
  EXPECT_NE(dump.output.find("Added by the user"), std::string::npos);
  EXPECT_NE(dump.output.find("Welcome to the discussion"), std::string::npos);
}

// The help database's navigator: a hidden form that a document made from it
// fills with the view it belongs to and the frame's size.
TEST_F(LedraTest, HelpNavigatorFormGivesItsItems) {
  std::filesystem::create_directories(dir_ + "/data");
  ShellRun made = Shell(Ledra("create " + dir_ + "/data/kvhelp.ldf --design " CORVANE_SOURCE_DIR
                              "/resources/designs/kvhelp.json"));
  ASSERT_EQ(made.status, 0) << made.output;
  VXHandle db = 0;
  ASSERT_EQ(VXDatabaseOpen("Local", "kvhelp.ldf", 0, &db), kVXOk) << Message();
  EXPECT_NE(VXFormLocateByName(db, "Corvane Navigator: Contents"), 0u);
  VXHandle doc = 0;
  ASSERT_EQ(VXDocumentCreate(db, "Corvane Navigator: Contents", &doc), kVXOk) << Message();
  EXPECT_EQ(ReadText(doc, "ViewName"), "Contents");
  EXPECT_EQ(ReadText(doc, "PercentSize"), "25");
  EXPECT_EQ(ReadText(doc, "Corvane_DefaultNav_ForView"), "Default");
  EXPECT_EQ(VXDocumentClose(doc, 0x20000), kVXOk);
  EXPECT_EQ(VXDatabaseClose(db, 0), kVXOk);
}

}  // namespace
