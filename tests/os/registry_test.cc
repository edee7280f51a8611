// The registry store on real files under a temporary folder.
#include "os/registry.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "os/registry_store.h"

namespace os {
namespace {

using Root = RegistryRoot;
using Status = RegistryStatus;

constexpr char kProxyKey[] = "Software\\Pellam\\Corvane\\Proxy Information";

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "registry_test.XXXXXX");
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    folder_ = pattern;
    // A folder that does not exist yet: the first write makes it.
    file_ = folder_ + "/config/corvane/registry";
    setenv("CORVANE_REGISTRY", file_.c_str(), 1);
  }
  void TearDown() override {
    unsetenv("CORVANE_REGISTRY");
    std::filesystem::remove_all(folder_);
  }

  std::string FileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  void PutFile(const std::string& text) {
    std::filesystem::create_directories(std::filesystem::path(file_).parent_path());
    std::ofstream(file_, std::ios::binary) << text;
  }
  RegistryKey Create(std::string_view path, Root root = Root::kCurrentUser) {
    RegistryKey key;
    EXPECT_EQ(RegistryCreateKey(root, path, &key), Status::kOk);
    return key;
  }

  std::string folder_;
  std::string file_;
};

RegistryValue Text(std::string name, std::string text) {
  RegistryValue value;
  value.name = std::move(name);
  value.text = std::move(text);
  return value;
}

RegistryValue Number(std::string name, uint32_t number) {
  RegistryValue value;
  value.name = std::move(name);
  value.type = RegistryValueType::kNumber;
  value.number = number;
  return value;
}

std::string AllBytes() {
  std::string bytes;
  for (int c = 0; c < 256; ++c) bytes.push_back(static_cast<char>(c));
  return bytes;
}

TEST_F(RegistryTest, EveryValueKindSurvivesTheFile) {
  const RegistryValue cases[] = {
      Text("HTTP_Proxy", "proxy.example:8080"),
      Text("No_Proxy", ""),
      Text("", "the default value"),
      Text("Lines", "one\ntwo\r\nthree\tfour \"quoted\" back\\slash"),
      Text("Every byte", AllBytes()),
      Text("Broken UTF-8", "\xc3(\xe2\x82\xff\xf0\x9f"),
      Text("Gr\xc3\xbc\xc3\x9f"
           "e \xe2\x9c\x93",
           "caf\xc3\xa9 \xf0\x9f\x98\x80"),
      Text("Name \"with\" \\ and\nnewline #", "# not a comment"),
      Number("Http_ProxyPort", 8080),
      Number("Proxy Type", 0),
      Number("Largest", 4294967295u),
  };
  RegistryKey key = Create(kProxyKey);
  for (const RegistryValue& value : cases) {
    Status status = value.type == RegistryValueType::kText
                        ? RegistryWriteText(key, value.name, value.text)
                        : RegistryWriteNumber(key, value.name, value.number);
    ASSERT_EQ(status, Status::kOk) << value.name;
  }
  RegistryKey reopened;
  ASSERT_EQ(RegistryOpenKey(Root::kCurrentUser, kProxyKey, &reopened), Status::kOk);
  std::vector<RegistryValue> listed;
  ASSERT_EQ(RegistryListValues(reopened, &listed), Status::kOk);
  ASSERT_EQ(listed.size(), std::size(cases));
  for (size_t i = 0; i < listed.size(); ++i) {
    const RegistryValue& want = cases[i];
    EXPECT_EQ(listed[i].name, want.name);
    EXPECT_EQ(listed[i].type, want.type) << want.name;
    if (want.type == RegistryValueType::kText) {
      std::string text;
      ASSERT_EQ(RegistryReadText(reopened, want.name, &text), Status::kOk) << want.name;
      EXPECT_EQ(text, want.text) << want.name;
    } else {
      uint32_t number = 1;
      ASSERT_EQ(RegistryReadNumber(reopened, want.name, &number), Status::kOk) << want.name;
      EXPECT_EQ(number, want.number) << want.name;
    }
  }
  // The file is text with one line per value: no raw control byte leaks in.
  std::string file = FileText(file_);
  for (char c : file) EXPECT_TRUE(c == '\n' || static_cast<unsigned char>(c) >= 0x20);
  RegistryStore store;
  std::string error;
  ASSERT_TRUE(RegistryStoreParse(file, &store, &error)) << error;
  EXPECT_EQ(RegistryStoreFormat(store), file);
}

TEST_F(RegistryTest, NamesIgnoreLetterCaseAndKeepTheirOwn) {
  RegistryKey key = Create(kProxyKey);
  ASSERT_EQ(RegistryWriteText(key, "Preferred Browser", "/usr/bin/firefox"), Status::kOk);

  RegistryKey other_case;
  ASSERT_EQ(RegistryOpenKey(Root::kCurrentUser, "SOFTWARE\\pellam\\CORVANE\\proxy information",
                            &other_case),
            Status::kOk);
  std::string text;
  ASSERT_EQ(RegistryReadText(other_case, "PREFERRED browser", &text), Status::kOk);
  EXPECT_EQ(text, "/usr/bin/firefox");

  // Rewriting under another case replaces the value and keeps the first name.
  ASSERT_EQ(RegistryWriteText(other_case, "preferred BROWSER", "/usr/bin/lynx"), Status::kOk);
  std::vector<RegistryValue> values;
  ASSERT_EQ(RegistryListValues(key, &values), Status::kOk);
  ASSERT_EQ(values.size(), 1u);
  EXPECT_EQ(values[0].name, "Preferred Browser");
  EXPECT_EQ(values[0].text, "/usr/bin/lynx");

  // A key created again under another case is the same key, named as first made.
  Create("software\\PELLAM\\corvane\\PROXY INFORMATION\\Netscape Navigator");
  RegistryKey corvane;
  ASSERT_EQ(RegistryOpenKey(Root::kCurrentUser, "Software\\Pellam\\Corvane", &corvane),
            Status::kOk);
  std::vector<std::string> names;
  ASSERT_EQ(RegistryListSubkeys(corvane, &names), Status::kOk);
  EXPECT_EQ(names, std::vector<std::string>{"Proxy Information"});
  RegistryKey below;
  ASSERT_EQ(RegistryOpenSubkey(corvane, "PROXY information\\netscape navigator", &below),
            Status::kOk);
  EXPECT_EQ(below.path.size(), 5u);
  // Leading, trailing and doubled separators change nothing.
  RegistryKey odd_path;
  EXPECT_EQ(RegistryOpenKey(Root::kCurrentUser, "\\Software\\\\Pellam\\Corvane\\", &odd_path),
            Status::kOk);
  EXPECT_EQ(odd_path.path, corvane.path);
}

TEST_F(RegistryTest, MissingThingsAndWrongTypesAreStatuses) {
  RegistryKey key;
  std::string text = "unchanged";
  uint32_t number = 5;
  // No file at all: the roots exist and are empty.
  ASSERT_EQ(RegistryOpenKey(Root::kLocalMachine, "", &key), Status::kOk);
  EXPECT_EQ(RegistryReadText(key, "x", &text), Status::kNotFound);
  EXPECT_EQ(RegistryOpenKey(Root::kCurrentUser, kProxyKey, &key), Status::kNotFound);
  EXPECT_EQ(RegistryFlush(key), Status::kOk);

  key = Create("Software\\Pellam\\Corvane");
  ASSERT_EQ(RegistryWriteText(key, "DashboardState", "1"), Status::kOk);
  ASSERT_EQ(RegistryWriteNumber(key, "Check Server", 0), Status::kOk);
  EXPECT_EQ(RegistryReadNumber(key, "DashboardState", &number), Status::kWrongType);
  EXPECT_EQ(RegistryReadText(key, "Check Server", &text), Status::kWrongType);
  EXPECT_EQ(RegistryReadText(key, "Missing", &text), Status::kNotFound);
  EXPECT_EQ(text, "unchanged");
  EXPECT_EQ(number, 5u);
  EXPECT_EQ(RegistryDeleteValue(key, "Missing"), Status::kNotFound);
  ASSERT_EQ(RegistryDeleteValue(key, "dashboardstate"), Status::kOk);
  EXPECT_EQ(RegistryReadText(key, "DashboardState", &text), Status::kNotFound);
  // A number written over a text changes its type.
  ASSERT_EQ(RegistryWriteNumber(key, "Check Server", 7), Status::kOk);
  ASSERT_EQ(RegistryReadNumber(key, "Check Server", &number), Status::kOk);
  EXPECT_EQ(number, 7u);
  EXPECT_EQ(RegistryFlush(key), Status::kOk);

  const std::string bad_paths[] = {"Software\\A\x01name", "Software\\A\x7f", "Software\\A\nB",
                                   "Software\\" + std::string(256, 'x')};
  for (const std::string& path : bad_paths) {
    EXPECT_EQ(RegistryCreateKey(Root::kCurrentUser, path, &key), Status::kBadName) << path;
  }
  EXPECT_EQ(RegistryDeleteKey(Root::kCurrentUser, ""), Status::kBadName);
}

TEST_F(RegistryTest, DeleteKeyTakesItsSubtreeOnly) {
  for (const char* path : {"Software\\Main", "Software\\Main\\Sub\\Deeper", "Software\\Main2",
                           "Software\\Main Window", "Software\\main\\Other"}) {
    RegistryKey key = Create(path);
    ASSERT_EQ(RegistryWriteText(key, "Name", path), Status::kOk);
  }
  RegistryKey doomed;
  ASSERT_EQ(RegistryOpenKey(Root::kCurrentUser, "Software\\Main\\Sub", &doomed), Status::kOk);
  ASSERT_EQ(RegistryDeleteKey(Root::kCurrentUser, "SOFTWARE\\MAIN"), Status::kOk);
  EXPECT_EQ(RegistryDeleteKey(Root::kCurrentUser, "Software\\Main"), Status::kNotFound);

  RegistryKey software;
  ASSERT_EQ(RegistryOpenKey(Root::kCurrentUser, "Software", &software), Status::kOk);
  std::vector<std::string> names;
  ASSERT_EQ(RegistryListSubkeys(software, &names), Status::kOk);
  EXPECT_EQ(names, (std::vector<std::string>{"Main Window", "Main2"}));
  // A key opened before its deletion is gone for reads and writes alike.
  std::string text;
  EXPECT_EQ(RegistryReadText(doomed, "Name", &text), Status::kNotFound);
  EXPECT_EQ(RegistryWriteText(doomed, "Name", "x"), Status::kNotFound);
  // The roots are separate trees.
  RegistryKey machine;
  EXPECT_EQ(RegistryOpenKey(Root::kLocalMachine, "Software\\Main2", &machine), Status::kNotFound);
}

TEST_F(RegistryTest, TwoProcessesWritingAtOnceLoseNothing) {
  constexpr int kWrites = 200;
  Create(kProxyKey);
  pid_t children[2];
  for (int child = 0; child < 2; ++child) {
    children[child] = fork();
    ASSERT_GE(children[child], 0);
    if (children[child] == 0) {
      RegistryKey key;
      bool ok = RegistryCreateKey(Root::kCurrentUser, kProxyKey, &key) == Status::kOk;
      for (int i = 0; ok && i < kWrites; ++i) {
        std::string name = "child" + std::to_string(child) + "_" + std::to_string(i);
        ok = child == 0 ? RegistryWriteText(key, name, "value " + std::to_string(i)) == Status::kOk
                        : RegistryWriteNumber(key, name, static_cast<uint32_t>(i)) == Status::kOk;
      }
      _exit(ok ? 0 : 1);
    }
  }
  for (pid_t child : children) {
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  RegistryKey key;
  ASSERT_EQ(RegistryOpenKey(Root::kCurrentUser, kProxyKey, &key), Status::kOk);
  std::vector<RegistryValue> values;
  ASSERT_EQ(RegistryListValues(key, &values), Status::kOk);
  EXPECT_EQ(values.size(), 2u * kWrites);
  for (int i = 0; i < kWrites; ++i) {
    std::string text;
    uint32_t number = 0;
    EXPECT_EQ(RegistryReadText(key, "child0_" + std::to_string(i), &text), Status::kOk);
    EXPECT_EQ(text, "value " + std::to_string(i));
    EXPECT_EQ(RegistryReadNumber(key, "child1_" + std::to_string(i), &number), Status::kOk);
    EXPECT_EQ(number, static_cast<uint32_t>(i));
  }
  // No temporary file is left behind.
  for (const auto& entry : std::filesystem::directory_iterator(folder_ + "/config/corvane")) {
    EXPECT_EQ(entry.path().string().find(".tmp"), std::string::npos) << entry.path();
  }
}

TEST_F(RegistryTest, HandEditedFileIsRead) {
  PutFile(
      "# edited by hand\r\n"
      "corvane-registry 1\r\n"
      "\r\n"
      "key hkcu \"Software\" \"Pellam\" \"Corvane\"   \r\n"
      "   text \"DashboardState\"\t\"0\"\r\n"
      "key HKLM \"SOFTWARE\" \"App Paths\" \"Browser.exe\"\n"
      "text \"\" \"/opt/browser/bin/browser\"\n"
      "key HKCU \"Software\" \"Pellam\" \"Corvane\"\n"
      "number \"Seen\" 3\n"
      "number \"seen\" 4\n");
  std::string message;
  ASSERT_EQ(RegistryCheckFile(&message), Status::kOk) << message;
  RegistryKey key;
  ASSERT_EQ(RegistryOpenKey(Root::kCurrentUser, "Software\\Pellam\\Corvane", &key), Status::kOk);
  std::vector<RegistryValue> values;
  ASSERT_EQ(RegistryListValues(key, &values), Status::kOk);
  ASSERT_EQ(values.size(), 2u);
  EXPECT_EQ(values[0].text, "0");
  EXPECT_EQ(values[1].name, "Seen");
  EXPECT_EQ(values[1].number, 4u);
  RegistryKey app;
  ASSERT_EQ(RegistryOpenKey(Root::kLocalMachine, "SOFTWARE\\App Paths\\browser.EXE", &app),
            Status::kOk);
  std::string text;
  ASSERT_EQ(RegistryReadText(app, "", &text), Status::kOk);
  EXPECT_EQ(text, "/opt/browser/bin/browser");
}

TEST_F(RegistryTest, DamagedFileIsReportedAndKept) {
  const struct {
    const char* text;
    const char* message;  // part of what RegistryCheckFile says
  } cases[] = {
      {"garbage\n", "line 1: not a registry file"},
      {"\x7f"
       "ELF\x02\x01",
       "line 1: not a registry file"},
      {"corvane-registry 2\n", "line 1: unknown format version 2"},
      {"corvane-registry 1\ntext \"a\" \"b\"\n", "line 2: value before the first key line"},
      {"corvane-registry 1\nkey HKCU \"A\"\ntext \"a\" \"cut", "line 3: unterminated"},
      {"corvane-registry 1\nkey HKCU \"A\"\ntext \"a\" \"\\q\"\n", "line 3: unknown escape \\q"},
      {"corvane-registry 1\nkey HKCU \"A\"\ntext \"a\" \"\\x4\"\n", "line 3: \\x needs two"},
      {"corvane-registry 1\nkey HKCU \"A\"\nnumber \"a\" 4294967296\n", "line 3: number needs"},
      {"corvane-registry 1\nkey HKCU \"A\"\nnumber \"a\" -1\n", "line 3: number needs"},
      {"corvane-registry 1\nkey HKCR \"A\"\n", "line 2: unknown root HKCR"},
      {"corvane-registry 1\nkey HKCU A\n", "line 2: key names must be quoted"},
      {"corvane-registry 1\nkey HKCU \"A\\\\B\"\n", "line 2: bad key name"},
      {"corvane-registry 1\nkey HKCU \"A\"\ntext \"a\"\"b\"\n", "line 3: quoted text runs"},
      {"corvane-registry 1\nkey HKCU \"A\"\nbinary \"a\" 00\n", "line 3: unknown line kind"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    std::filesystem::remove_all(folder_ + "/config");
    PutFile(c.text);
    std::string message;
    EXPECT_EQ(RegistryCheckFile(&message), Status::kBadFile);
    EXPECT_NE(message.find(c.message), std::string::npos) << message;

    RegistryKey key;
    std::string text;
    EXPECT_EQ(RegistryOpenKey(Root::kCurrentUser, "A", &key), Status::kBadFile);
    key.path = {"A"};
    key.file = file_;
    EXPECT_EQ(RegistryReadText(key, "a", &text), Status::kBadFile);
    // A change that cannot apply leaves the damaged file alone.
    EXPECT_EQ(RegistryDeleteValue(key, "a"), Status::kBadFile);
    EXPECT_EQ(FileText(file_), c.text);
    EXPECT_FALSE(std::filesystem::exists(file_ + ".bad"));

    // A write starts afresh and keeps the damaged file beside it.
    ASSERT_EQ(RegistryCreateKey(Root::kCurrentUser, "Software\\Pellam\\Corvane", &key),
              Status::kBadFileReplaced);
    EXPECT_EQ(FileText(file_ + ".bad"), c.text);
    ASSERT_EQ(RegistryWriteText(key, "DashboardState", "0"), Status::kOk);
    EXPECT_EQ(RegistryReadText(key, "DashboardState", &text), Status::kOk);
  }

  // A second damage does not overwrite the first copy.
  PutFile("damaged again\n");
  RegistryKey key;
  ASSERT_EQ(RegistryCreateKey(Root::kCurrentUser, "X", &key), Status::kBadFileReplaced);
  EXPECT_TRUE(std::filesystem::exists(file_ + ".bad"));
  EXPECT_EQ(FileText(file_ + ".bad.1"), "damaged again\n");
}

}  // namespace
}  // namespace os
