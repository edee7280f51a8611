// The view commands on a view of 10,000 documents, through corvex: range
// selection, trash marks in both polarities, the deletions and their
// questions, cut and paste into a second database, categorising, key and
// full-text search.
#include "browser/view_operations.h"

#include <gtest/gtest.h>

#include <map>
#include <regex>

#include "browser/view_sets.h"
#include "ledra/vxapi.h"
#include "platform/view_records.h"
#include "tests/browser/desktop_engine.h"

namespace {

using namespace std::string_literals;

constexpr int kDocuments = 10000;
constexpr char kOps[] = "http://[kv]/Local:/ops.ldf:/V/";
constexpr char kTarget[] = "http://[kv]/Local:/target.ldf:/V/";

// The design of both databases; the first three documents of the first
// (the rest, without a form, are saved through the platform: much faster
// than read from a design source, or saved through a form's formulas).
std::string Design(bool with_documents) {
  std::string json =
      "{\"title\": \"Ops\", \"forms\": [{\"name\": \"Topic\", \"fields\": ["
      "{\"name\": \"Subject\"}, {\"name\": \"Categories\", \"type\": \"textlist\"},"
      "{\"name\": \"Body\", \"type\": \"richtext\"}]}],"
      "\"views\": [{\"name\": \"All Documents\", \"selection\": \"SELECT @All\", \"columns\": ["
      "{\"title\": \"Subject\", \"width\": 12, \"item\": \"Subject\", \"sort\": \"ascending\"},"
      "{\"title\": \"Categories\", \"width\": 20, \"item\": \"Categories\"}]},"
      "{\"name\": \"by Category\", \"selection\": \"SELECT @All\", \"columns\": ["
      "{\"title\": \"Category\", \"width\": 12, \"item\": \"Categories\", \"categorized\": true},"
      "{\"title\": \"Subject\", \"width\": 12, \"item\": \"Subject\", \"sort\": \"ascending\"}]}],"
      "\"documents\": [";
  if (with_documents) {
    // Three whole documents first: rich text, an attachment, several categories.
    json +=
        "{\"items\": {\"Form\": \"Topic\", \"Subject\": \"Doc 00001\", \"Categories\": "
        "\"Alpha; Beta,Gamma\", \"Body\": {\"type\": \"richtext\", \"markup\": "
        "\"{pardef 1}{use 1}{font b}Bold{font} needle text{p}\"}},"
        " \"attachments\": [{\"name\": \"notes.txt\", \"text\": \"first notes\\n\"}]},"
        "{\"items\": {\"Form\": \"Topic\", \"Subject\": \"Doc 00002\", \"Categories\": [\"Work\"],"
        " \"Count\": 2, \"Body\": {\"type\": \"richtext\", \"markup\": \"{pardef 1}{use 1}needle "
        "needle{p}\"}}, \"attachments\": [{\"name\": \"Picture.GIF\", \"base64\": "
        "\"R0lGODlhAQABAAAAACw=\", \"compress\": true}]},"
        "{\"items\": {\"Form\": \"Topic\", \"Subject\": \"Doc 00003\", \"Categories\": "
        "[\"Social\", \"Work\"]}}";
  }
  return json + "]}";
}

class ViewOperations : public DesktopEngine {
 protected:
  static void SetUpTestSuite() {
    char pattern[] = "/tmp/corvane-ops-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    template_folder_ = pattern;
    for (bool documents : {true, false}) {
      std::string name = documents ? "ops" : "target";
      std::string design = template_folder_ + "/" + name + ".json";
      std::ofstream(design) << Design(documents);
      std::string command = std::string(CORVANE_BIN_DIR) + "/ledra create '" + template_folder_ +
                            "/" + name + ".ldf' --design '" + design + "' >/dev/null";
      ASSERT_EQ(std::system(command.c_str()), 0) << command;
    }
    std::ofstream(template_folder_ + "/ledra.ini") << "[Ledra]\nDirectory=.\n";
    setenv("CORVANE_LEDRA_INI", (template_folder_ + "/ledra.ini").c_str(), 1);
    ASSERT_EQ(_VXInit(0x45004, nullptr, nullptr, nullptr), kVXOk);
    VXHandle db = 0;
    ASSERT_EQ(VXDatabaseOpen("Local", "ops.ldf", 0, &db), kVXOk);
    int32_t one = 1, zero = 0;
    ASSERT_EQ(VXDatabaseSetProperty(db, kDbPropBatch, &one), kVXOk);
    for (int i = 4; i <= kDocuments; ++i) {
      char subject[16];
      std::snprintf(subject, sizeof subject, "Doc %05d", i);
      std::string category = i % 3 == 0 ? "Work" : i % 3 == 1 ? "Social" : "Planning";
      category += '\0';
      VXHandle doc = 0;
      ASSERT_EQ(VXDocumentCreate(db, "", &doc), kVXOk);
      ASSERT_EQ(VXItemPut(doc, "Subject", 0, 0, kVXTypeText, subject, 0), kVXOk);
      ASSERT_EQ(VXItemPut(doc, "Categories", 0, 0, kVXTypeTextList, category.data(),
                          static_cast<uint32_t>(category.size())),
                kVXOk);
      ASSERT_EQ(VXDocumentSave(doc, 0), kVXOk);
      VXDocumentClose(doc, 0);
    }
    ASSERT_EQ(VXDatabaseSetProperty(db, kDbPropBatch, &zero), kVXOk);
    VXDatabaseClose(db, 0);
    VXTerm(0);
  }
  static void TearDownTestSuite() {
    std::error_code ec;
    fs::remove_all(template_folder_, ec);
  }

  void SetUp() override {
    DesktopEngine::SetUp();
    for (const char* name : {"ops.ldf", "target.ldf"})
      fs::copy_file(template_folder_ + "/" + name, folder_ + "/data/" + name);
    MakeDatabaseFrom("corvex.clp",
                     std::string(CORVANE_SOURCE_DIR) + "/resources/designs/corvex_clp.json");
    Start();
    view_ = std::to_string(ViewId("All Documents"));
  }

  VXNoteId ViewId(const std::string& name) {
    VXNoteId id = 0;
    OnPlatform([&](engine::ThreadHandle& thread) {
      platform::OpenDatabase* db = platform::OpenDatabaseRecord(thread, "Local", "ops.ldf");
      ASSERT_NE(db, nullptr);
      id = VXViewLocateByName(db->handle, name.c_str());
    });
    return id;
  }

  // The note id at a position of a view (a cursor of its own).
  VXNoteId IdAt(const std::string& database, const std::string& view, const std::string& at) {
    VXNoteId id = 0;
    OnPlatform([&](engine::ThreadHandle& thread) {
      platform::OpenDatabase* db = platform::OpenDatabaseRecord(thread, "Local", database);
      ASSERT_NE(db, nullptr);
      VXHandle index = 0;
      ASSERT_EQ(VXIndexOpen(db->handle, &index), kVXOk);
      ASSERT_EQ(VXIndexOpenView(index, 0, VXViewLocateByName(db->handle, view.c_str()), 0), kVXOk);
      if (VXIndexSetViewPosition(index, at.c_str()) == kVXOk)
        (void)VXIndexNavigate(index, 6, 0, &id, nullptr);
      VXIndexClose(index);
    });
    return id;
  }

  uint32_t Count(const std::string& database, const std::string& view) {
    uint32_t count = 0;
    OnPlatform([&](engine::ThreadHandle& thread) {
      platform::OpenDatabase* db = platform::OpenDatabaseRecord(thread, "Local", database);
      ASSERT_NE(db, nullptr);
      VXHandle index = 0;
      ASSERT_EQ(VXIndexOpen(db->handle, &index), kVXOk);
      ASSERT_EQ(VXIndexOpenView(index, 0, VXViewLocateByName(db->handle, view.c_str()), 0), kVXOk);
      (void)VXIndexGetCount(index, &count);
      VXIndexClose(index);
    });
    return count;
  }

  // The selection or trash set of a view: polarity and listed count.
  std::pair<int32_t, size_t> Set(const std::string& view, bool trash) {
    std::pair<int32_t, size_t> result{0, 0};
    OnPlatform([&](engine::ThreadHandle& thread) {
      platform::OpenDatabase* db = platform::OpenDatabaseRecord(thread, "Local", "ops.ldf");
      platform::ViewRecord* record = platform::GetViewRecordByName(thread, db->handle, view);
      ASSERT_NE(record, nullptr);
      browser::ViewSets& sets = browser::SetsOf(*record);
      const auto& set = trash ? sets.trash : sets.selection;
      if (set) result = {browser::Polarity(*set), browser::ListedCount(*set)};
    });
    return result;
  }

  // A document as its items (name, type, bytes) and attachments (name,
  // bytes), without what a copy changes.
  std::string Whole(const std::string& database, VXNoteId id) {
    std::string whole;
    OnPlatform([&](engine::ThreadHandle& thread) {
      platform::OpenDatabase* db = platform::OpenDatabaseRecord(thread, "Local", database);
      VXHandle doc = 0;
      ASSERT_EQ(VXDocumentOpen(db->handle, id, 1, &doc), kVXOk);
      std::map<std::string, std::string> items;
      char name[256];
      uint16_t type = 0;
      for (uint32_t code = 2; VXItemList(doc, code, name, sizeof name, &type) == kVXOk; code = 4) {
        const void* value = nullptr;
        uint32_t length = 0;
        ASSERT_EQ(VXItemGetPointer(doc, name, 0, &value, &length), kVXOk) << name;
        items[name] =
            std::to_string(type) + ":" + std::string(static_cast<const char*>(value), length);
      }
      uint32_t bytes = 0;
      for (uint32_t code = 2; VXAttachmentList(doc, code, name, sizeof name, &bytes) == kVXOk;
           code = 4) {
        std::string path = folder_ + "/wtemp/whole";
        ASSERT_EQ(VXAttachmentExtract(doc, name, path.c_str(), 0), kVXOk);
        std::ifstream in(path, std::ios::binary);
        items[std::string("attachment ") + name] =
            std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
      }
      VXDocumentClose(doc, 0x20000);
      for (const auto& [key, value] : items) whole += key + "=" + value + "\n";
    });
    return whole;
  }

  std::string Status() {
    std::ifstream in(folder_ + "/htmdata/wbstatus.dat");
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  void CtrlClick(const std::string& url) {
    os::SetKeyStateHook([](os::Key key) { return key == os::Key::kCtrl; });
    (void)Get(url);
    os::SetKeyStateHook(nullptr);
  }

  static std::string template_folder_;
  std::string view_;  // the id of "All Documents"
};

std::string ViewOperations::template_folder_;

TEST_F(ViewOperations, RangeSelectionUpToTheNearestSelectedDocument) {
  std::string v = std::string(kOps) + "All Documents/";
  VXNoteId third = IdAt("ops.ldf", "All Documents", "3");
  VXNoteId twenty_fifth = IdAt("ops.ldf", "All Documents", "25");
  (void)Get(v + "Sx" + std::to_string(third) + "/1/" + std::to_string(third) + "/");
  // A Ctrl-click on a row of a later page selects everything in between.
  CtrlClick(v + "Sx" + std::to_string(twenty_fifth) + "/20/" + std::to_string(twenty_fifth) + "/");
  EXPECT_EQ(Set("All Documents", false), std::make_pair(-1, size_t{23}));
  std::string page = Get(v + "r/3/");
  EXPECT_NE(page.find("checkmk.gif\" ALT=\"Click here to check-mark DESELECT line #25\""),
            std::string::npos);
  EXPECT_NE(page.find("check-mark SELECT line #26\""), std::string::npos);

  // With nothing selected above, it stops after 5001 documents.
  (void)Get(v + "SA/");
  (void)Get(v + "SA/");
  (void)Shown();
  VXNoteId far = IdAt("ops.ldf", "All Documents", "9000");
  CtrlClick(v + "Sx" + std::to_string(far) + "/8990/" + std::to_string(far) + "/");
  EXPECT_EQ(Set("All Documents", false), std::make_pair(-1, size_t{5001}));
  std::vector<std::string> shown = {
      "[Pellam Corvane] (exclamation) Too many documents for range-selection. Stopping at 5000."};
  EXPECT_EQ(Shown(), shown);
  page = Get(v + "r/3999/");
  EXPECT_NE(page.find("check-mark SELECT line #3999\""), std::string::npos);
  EXPECT_NE(page.find("DESELECT line #4000\""), std::string::npos);
}

TEST_F(ViewOperations, TrashInBothPolaritiesAndEmptyTrash) {
  std::string v = std::string(kOps) + "All Documents/";
  std::vector<VXNoteId> ids;
  for (const char* at : {"10", "11", "12", "13"})
    ids.push_back(IdAt("ops.ldf", "All Documents", at));
  for (int i = 0; i < 3; ++i)
    (void)Get(v + "Sx" + std::to_string(ids[i]) + "/1/" + std::to_string(ids[i]) + "/");
  (void)Get(v + "D/");
  EXPECT_EQ(Set("All Documents", true), std::make_pair(-1, size_t{3}));
  EXPECT_EQ(Set("All Documents", false), std::make_pair(-1, size_t{0}));
  // Select all but one, then To/From Trash: the three leave the trash and
  // every other document but the one deselected enters it.
  (void)Get(v + "SA/");
  (void)Get(v + "So" + std::to_string(ids[3]) + "/1/" + std::to_string(ids[3]) + "/");
  (void)Get(v + "D/");
  EXPECT_EQ(Set("All Documents", true), std::make_pair(1, size_t{4}));
  std::string page = Get(v + "r/9/");
  EXPECT_NE(page.find("nocheck.gif\"><IMG BORDER=0 NAME=\"I2NC\""), std::string::npos) << page;
  EXPECT_NE(page.find("delmk.gif\"><IMG BORDER=0 NAME=\"I1NC\""), std::string::npos) << page;

  // Empty Trash asks with the count text; No leaves everything.
  std::string question =
      "[Pellam Corvane] (question) Do you want to permanently delete ALL but 4 documents from the "
      "database Ops?";
  Answer({"No"});
  (void)Shown();
  (void)Get(v + "DE/");
  EXPECT_EQ(Shown(), std::vector<std::string>{question});
  EXPECT_EQ(Count("ops.ldf", "All Documents"), uint32_t{kDocuments});
  Answer({"Yes"});
  (void)Get(v + "DE/");
  EXPECT_EQ(Shown(), std::vector<std::string>{question});
  EXPECT_EQ(Count("ops.ldf", "All Documents"), 4u);
  EXPECT_EQ(Status(), "9996 documents  successfully deleted.");
  // Freed; the page drawn after it starts an empty one.
  EXPECT_EQ(Set("All Documents", true), std::make_pair(-1, size_t{0}));
  for (VXNoteId id : ids) EXPECT_NE(Whole("ops.ldf", id), "");
}

TEST_F(ViewOperations, DeleteSelectedAsksWithTheCount) {
  std::string v = std::string(kOps) + "All Documents/";
  // Nothing selected: nothing asked.
  EXPECT_EQ(Get(v + "DX/").rfind("HTTP/1.0 302 Temporarily Moved\nLocation: "
                                 "http://[kv]/Local:/ops.ldf:/V/" +
                                     view_ + "/LR/\n\nHTTP/1.1 200 OK",
                                 0),
            0u);
  EXPECT_TRUE(Shown().empty());
  VXNoteId a = IdAt("ops.ldf", "All Documents", "100"), b = IdAt("ops.ldf", "All Documents", "7");
  for (VXNoteId id : {a, b})
    (void)Get(v + "Sx" + std::to_string(id) + "/1/" + std::to_string(id) + "/");
  Answer({"Yes"});
  (void)Get(v + "DX/");
  std::vector<std::string> shown = {
      "[Pellam Corvane] (question) Do you want to permanently delete 2 documents from the "
      "database Ops?"};
  EXPECT_EQ(Shown(), shown);
  EXPECT_EQ(Status(), "2 documents successfully deleted.");
  EXPECT_EQ(Count("ops.ldf", "All Documents"), uint32_t{kDocuments - 2});
  EXPECT_NE(IdAt("ops.ldf", "All Documents", "7"), b);
  // One document: the singular.
  (void)Get(v + "Sx" + std::to_string(IdAt("ops.ldf", "All Documents", "5")) + "/1/" +
            std::to_string(IdAt("ops.ldf", "All Documents", "5")) + "/");
  Answer({"Yes"});
  (void)Get(v + "DX/");
  EXPECT_EQ(Shown(), std::vector<std::string>{"[Pellam Corvane] (question) Do you want to "
                                              "permanently delete 1 document from the database "
                                              "Ops?"});
  EXPECT_EQ(Status(), "1 document successfully deleted.");
}

TEST_F(ViewOperations, CutAndPasteCarryDocumentsWhole) {
  std::string v = std::string(kOps) + "All Documents/";
  std::vector<VXNoteId> ids;
  std::vector<std::string> before;
  for (const char* at : {"1", "2", "3"}) {
    ids.push_back(IdAt("ops.ldf", "All Documents", at));
    before.push_back(Whole("ops.ldf", ids.back()));
  }
  ASSERT_NE(before[0].find("attachment notes.txt=first notes\n"), std::string::npos) << before[0];
  ASSERT_NE(before[0].find("Body=7:"), std::string::npos);
  for (VXNoteId id : ids)
    (void)Get(v + "Sx" + std::to_string(id) + "/1/" + std::to_string(id) + "/");
  Answer({"Yes"});
  (void)Get(v + "vX/");
  EXPECT_EQ(Shown(), std::vector<std::string>{"[Pellam Corvane] (question) Do you want to CUT to "
                                              "Corvane's clipboard  3 documents from the database "
                                              "Ops?"});
  EXPECT_EQ(Count("ops.ldf", "All Documents"), uint32_t{kDocuments - 3});
  EXPECT_EQ(Set("All Documents", false), std::make_pair(-1, size_t{0}));

  std::string t = std::string(kTarget) + "All Documents/";
  Answer({"Yes", "Yes"});
  (void)Get(t + "vP/");
  (void)Get(t + "vP/");
  std::vector<std::string> paste(2,
                                 "[Pellam Corvane] (question) Do you want to PASTE from "
                                 "Corvane's clipboard  3 documents into this database?");
  EXPECT_EQ(Shown(), paste);
  ASSERT_EQ(Count("target.ldf", "All Documents"), 6u);
  for (int i = 0; i < 6; ++i) {
    std::string at = std::to_string(i + 1);
    EXPECT_EQ(Whole("target.ldf", IdAt("target.ldf", "All Documents", at)), before[i / 2]) << at;
  }
  // A copy leaves the source as it was and replaces the clipboard.
  VXNoteId fourth = IdAt("ops.ldf", "All Documents", "1");
  (void)Get(v + "Sx" + std::to_string(fourth) + "/1/" + std::to_string(fourth) + "/");
  Answer({"Yes", "Yes"});
  (void)Get(v + "vC/");
  (void)Get(t + "vP/");
  EXPECT_EQ(Count("ops.ldf", "All Documents"), uint32_t{kDocuments - 3});
  EXPECT_EQ(Count("target.ldf", "All Documents"), 7u);
  // An empty clipboard asks nothing; neither does a cut of nothing.
  (void)Shown();
  (void)Get(v + "vX/");
  EXPECT_TRUE(Shown().empty());
}

TEST_F(ViewOperations, CategorizeWithNewAndExistingCategories) {
  std::string v = std::string(kOps) + "All Documents/";
  VXNoteId first = IdAt("ops.ldf", "All Documents", "1");
  VXNoteId fifth = IdAt("ops.ldf", "All Documents", "5");
  // No selection: the command says so.
  (void)Get(v + "C/");
  EXPECT_EQ(Shown(), std::vector<std::string>{"[Pellam Corvane] (exclamation) You must select at "
                                              "least one entry in the view"});
  // The first document's "Alpha; Beta,Gamma" is preselected piece by piece,
  // beside the categories the view has; "Work" is chosen too and "Travel"
  // typed.
  for (VXNoteId id : {first, fifth})
    (void)Get(v + "Sx" + std::to_string(id) + "/1/" + std::to_string(id) + "/");
  Answer({"Categorize=>dialog: Work=on; New categories=Travel; OK"});
  EXPECT_EQ(Get(v + "C/"),
            "HTTP/1.0 302 Temporarily Moved\nLocation: http://[kv]/Local:/ops.ldf:/V/" + view_ +
                "/R/\n\n");
  std::map<std::string, bool> offered;
  bool edit_shown = false;
  for (const std::string& line : trace_.Lines()) {
    if (line.rfind("  [x] ", 0) == 0 || line.rfind("  [ ] ", 0) == 0)
      offered[line.substr(6, line.find(" #") - 6)] = line[3] == 'x';
    edit_shown = edit_shown || line == "  New categories: [] #1000";
  }
  std::map<std::string, bool> expected = {
      {"Alpha", true},     {"Beta", true},    {"Gamma", true}, {"Alpha; Beta,Gamma", false},
      {"Planning", false}, {"Social", false}, {"Work", false}};
  EXPECT_EQ(offered, expected);
  EXPECT_TRUE(edit_shown);
  // Both documents: the current line's and the one selected.
  for (VXNoteId id : {first, fifth})
    EXPECT_NE(Whole("ops.ldf", id).find("Categories=4:Alpha\0Beta\0Gamma\0Work\0Travel\0"s),
              std::string::npos)
        << Whole("ops.ldf", id);
  EXPECT_EQ(Set("All Documents", false), std::make_pair(0, size_t{0}));  // freed
  // Each document is shown under each of its categories.
  std::vector<std::string> categories;
  OnPlatform([&](engine::ThreadHandle& thread) {
    platform::OpenDatabase* db = platform::OpenDatabaseRecord(thread, "Local", "ops.ldf");
    VXHandle index = 0;
    ASSERT_EQ(VXIndexOpen(db->handle, &index), kVXOk);
    ASSERT_EQ(VXIndexOpenView(index, 0, VXViewLocateByName(db->handle, "by Category"), 0), kVXOk);
    VXKey key;
    for (uint32_t code = 2; VXIndexListKey(index, code, &key) == kVXOk; code = 4)
      categories.push_back(key.text);
    VXIndexClose(index);
  });
  std::vector<std::string> all = {"Alpha", "Beta", "Gamma", "Planning", "Social", "Travel", "Work"};
  EXPECT_EQ(categories, all);
  // Cancel changes nothing and keeps the selection.
  (void)Get(v + "Sx" + std::to_string(fifth) + "/1/" + std::to_string(fifth) + "/");
  Answer({"Categorize=>dialog: Cancel"});
  (void)Get(v + "C/");
  EXPECT_EQ(Set("All Documents", false), std::make_pair(-1, size_t{1}));
}

TEST_F(ViewOperations, KeySearchAndFullTextSearch) {
  std::string v = std::string(kOps) + "All Documents/";
  // No full-text index: "Search" is a key search; the page starts just
  // above the row found, and an unmatched tail is dropped a character at
  // a time.
  struct {
    const char* query;
    const char* range;
  } keys[] = {
      {"Doc+05000", "4999 to 5028 of 10000"},
      {"doc+0500zz", "4999 to 5028 of 10000"},
      {"Doc%2B%2B", "1 to 30 of 10000"},
  };
  for (const auto& k : keys) {
    std::string page = Get(v + "FS/?SearchText=" + k.query + "&S=Search");
    EXPECT_NE(page.find(k.range), std::string::npos) << k.query << page.substr(page.size() - 900);
  }
  // "Full text" without an index offers to build it: No, then No.
  Answer({"No", "No"});
  (void)Shown();
  (void)Get(v + "FS/?SearchText=needle&F=Full+text");
  EXPECT_EQ(Shown().size(), 3u);
  // With an index: results with their scores, best first.
  Answer({"Yes"});
  (void)Get("http://[kv]/Local:/ops.ldf:/?/FullText");
  std::string page = Get(v + "FS/?SearchText=needle&S=Search");
  std::regex score(R"(\s*\d+% <IMG BORDER=0 SRC="file://\$DIR/images/blanktw.gif"")");
  EXPECT_EQ(
      std::distance(std::sregex_iterator(page.begin(), page.end(), score), std::sregex_iterator()),
      2)
      << page;
  EXPECT_LT(page.find("Doc 00002"), page.find("Doc 00001"));
  EXPECT_NE(page.find("1 to 2 of 2"), std::string::npos);
  // A search that finds nothing says so, with the tip.
  (void)Shown();
  (void)Get(v + "FS/?SearchText=nowhere&S=Search");
  std::vector<std::string> shown = Shown();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].rfind("[Pellam Corvane: No Matching Pages Found] (information) ", 0), 0u);
  EXPECT_NE(shown[0].find("\n\nTip: Try searching for text that is on one of your Favorite pages."),
            std::string::npos)
      << shown[0];
}

TEST(SearchQuery, TextAndModeOfASearchUrl) {
  struct {
    const char* url;
    bool found;
    const char* text;
    char mode;
  } cases[] = {
      {"http://[kv]/a:/b:/V/4/FS/", false, "", '\0'},
      {"http://[kv]/a:/b:/V/4/FS/?SearchText=two+words&S=Search", true, "two words", 'S'},
      {"http://[kv]/a:/b:/V/4/FS/?SearchText=C%2B%2B&Q=Go+to", true, "C++", 'Q'},
      {"http://[kv]/a:/b:/V/4/FS/?x=1&SearchText=50%25&F=Full", true, "50%", 'F'},
      {"http://[kv]/a:/b:/V/4/FS/?SearchText=a\\%41\\+b&S=S", true, "a\\%41\\+b", 'S'},
      {"http://[kv]/a:/b:/V/4/FS/?SearchText=%e2%82%ac%4&S=S", true, "\xe2\x82\xac%4", 'S'},
      {"http://[kv]/a:/b:/V/4/FS/?SearchText=end", true, "end", '\0'},
      {"http://[kv]/a:/b:/V/4/FS/?q=1", false, "", '\0'},
  };
  for (const auto& c : cases) {
    std::string text;
    char mode = '?';
    EXPECT_EQ(browser::ParseSearchQuery(c.url, &text, &mode), c.found) << c.url;
    if (!c.found) continue;
    EXPECT_EQ(text, c.text) << c.url;
    EXPECT_EQ(mode, c.mode) << c.url;
  }
}

}  // namespace
