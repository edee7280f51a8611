// The template expander: every variable in the table's order, includes
// (quoted, nested, confined to the program folder), the item variables.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "browser/template_expander.h"
#include "engine/database_request.h"
#include "engine/shared_context.h"
#include "engine/thread_handle.h"
#include "ledra/vxapi.h"
#include "platform/open_database.h"

namespace fs = std::filesystem;

namespace {

class Templates : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/corvane-templates-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root_ = pattern;
    program_ = root_ + "/prog";
    fs::create_directories(program_ + "/htmdata/sub");
    fs::create_directories(program_ + "/data");
    std::ofstream(root_ + "/outside.txt") << "SECRET";
    std::ofstream(program_ + "/ledra.ini") << "[Ledra]\nDirectory=data\n";
    setenv("CORVANE_LEDRA_INI", (program_ + "/ledra.ini").c_str(), 1);
    ASSERT_EQ(_VXInit(0x45004, nullptr, nullptr, nullptr), kVXOk);
    ASSERT_EQ(VXDatabaseCreate("Local", "t.ldf", "Test Base"), kVXOk);
    ASSERT_EQ(VXDatabaseOpen("Local", "t.ldf", 0, &db_.handle), kVXOk);
    VXHandle doc = 0;
    ASSERT_EQ(VXDocumentCreate(db_.handle, "Memo", &doc), kVXOk);
    const char body[] = "Ann's \"note\"\r\nsecond \\ line";
    ASSERT_EQ(VXItemPut(doc, "Body", 0, 0, kVXTypeText, body, 0), kVXOk);
    ASSERT_EQ(VXItemPut(doc, "Two Words", 0, 0, kVXTypeText, "quoted item", 0), kVXOk);
    ASSERT_EQ(VXDocumentSave(doc, 0x10000), kVXOk);
    ASSERT_EQ(VXDocumentGetProperty(doc, kDocPropNoteId, &document_, sizeof document_), kVXOk);
    VXDocumentClose(doc, 0);

    shared_.programDir = program_;
    shared_.programDirUrl = program_;
    shared_.startTarget = "_top";
    db_.server = "Local";
    db_.path = "Sub/t.ldf";
    db_.title = "Test Base";
    view_.viewId = 77;
    view_.name = "By Author";
    view_.headerLine = "Author    Subject";
    view_.preview = 1;
    view_.database = &db_;
    web_.server = "Hub/Sales";
    web_.path = "Replicas.Web\\kvwebrs.ldf";
    web_.title = "Sales Pages";
    request_ = engine::ParseDatabaseRequest(
        "GET http://[kv]/Local:/sub/t.ldf:/V/77/SC/3/4/{http://x/} HTTP/1.0\r\n\r\n");
    ASSERT_TRUE(request_);
    handle_.Attach(&shared_);
  }
  void TearDown() override {
    VXDatabaseClose(db_.handle, 0);
    VXTerm(0);
    std::error_code ec;
    fs::remove_all(root_, ec);
  }

  browser::ActionContext Context() {
    return browser::MakeActionContext(handle_, &db_, &view_, request_.get(), 0, document_, 0, 0,
                                      std::string("1 to 5 of 9"), std::nullopt, std::string("2.1"),
                                      std::string("kvViewBodyFrame"), std::string("_parent"));
  }
  std::string Expand(const std::string& text) {
    std::string out;
    browser::ExpandTemplate(Context(), text, &out);
    return out;
  }
  void Write(const std::string& name, const std::string& text) {
    std::ofstream(program_ + "/htmdata/" + name) << text;
  }

  std::string root_, program_;
  engine::SharedContext shared_;
  engine::ThreadHandle handle_;
  platform::OpenDatabase db_, web_;
  platform::ViewRecord view_;
  std::unique_ptr<engine::DatabaseRequest> request_;
  VXNoteId document_ = 0;
};

TEST_F(Templates, EveryVariable) {
  struct {
    const char* text;
    std::string value;
  } cases[] = {
      {"$WCTX_GeneralArg1", "1 to 5 of 9"},
      {"$WCTX_MainTargetFrame", "_top"},
      {"$WCTX_ProgramDir", ""},  // filled below
      {"$WCTX_NetState", "on"},
      {"$WCTX_ServerName", "Local"},
      {"$WCTX_DBFileName", "Sub/t.ldf"},
      {"$WCTX_DatabaseTitle", "Test Base"},
      {"$WCTX_ActiveWebDatabaseTitle", "My Web Page Replicas"},
      {"$WCTX_ActiveWebDatabase", "Local:/Replicas.Web/kvwebrs.ldf:"},
      {"$WCTX_CorvjobsicaContext", ""},
      {"$WCTX_ViewFolderName", "By Author"},
      {"$WCTX_ViewFolderColHeaders", "Author    Subject"},
      {"$WCTX_DocPreviewState", "on"},
      {"$WCTX_SearchBarState", "off"},
      {"$WCTX_ViewFolderID", "77"},
      {"$WCTX_NextSelectAllState", "Deselect"},
      {"$WCTX_NextSearchBarState", "On"},
      {"$WCTX_NextPreviewState", "Off"},
      {"$WCTX_FormName", ""},
      {"$WCTX_FormID", "0"},
      {"$WCTX_DocID", std::to_string(document_)},
      {"$WCTX_ItemInCurrentDoc:\"Two Words\"!", "quoted item!"},
      {"$WCTX_ViewFolderLocale", "2.1"},
      {"$WCTX_Adverb", "SC"},
      {"$WCTX_Kind", "V"},
      {"$WCTX_RefererURL", "http://x/"},
      {"$WCTX_SelfURL", "http://[kv]/Local:/sub/t.ldf:/V/77/SC/3/4/{http://x/}"},
      {"$WCTX_CNavigatorID", "0"},
      {"$WCTX_ViewBodyWin", "kvViewBodyFrame"},
      {"$WCTX_DocBodyWin", "_parent"},
      {"$WCTX_CNavigatorName", ""},
      {"<$wctx_kind>", "<V>"},  // names are compared without regard to case
      {"$WCTX_Nonsense", "$WCTX_Nonsense"},
  };
  cases[2].value = program_;
  for (const auto& c : cases) EXPECT_EQ(Expand(c.text), c.value) << c.text;
}

TEST_F(Templates, WebDatabaseVariablesTitleBeforeName) {
  shared_.webDatabase = &web_;
  shared_.offline = 1;
  EXPECT_EQ(
      Expand("[$WCTX_ActiveWebDatabaseTitle|$WCTX_ActiveWebDatabase|$WCTX_CorvjobsicaContext]"),
      "[Sales Pages|Hub/Sales:/Replicas.Web\\kvwebrs.ldf:|Hub;Replicas.Web;kvwebrs.ldf]");
  EXPECT_EQ(Expand("$WCTX_NetState"), "off");
  shared_.webDatabase = nullptr;
}

TEST_F(Templates, AbsentFieldsAreEmptyText) {
  browser::ActionContext context =
      browser::MakeActionContext(handle_, nullptr, nullptr, nullptr, 0, 0, 0, 0, std::nullopt,
                                 std::nullopt, std::nullopt, std::nullopt, std::nullopt);
  std::string out;
  browser::ExpandTemplate(context,
                          "[$WCTX_GeneralArg1$WCTX_ServerName$WCTX_ViewFolderName$WCTX_Adverb"
                          "$WCTX_SelfURL$WCTX_DocBodyWin$WCTX_ItemInCurrentDoc:Body]",
                          &out);
  EXPECT_EQ(out, "[]");
  // A request whose URL stops before argument 2.
  auto request = engine::ParseDatabaseRequest("GET http://[kv]/Local:/t.ldf:/V HTTP/1.0\r\n\r\n");
  ASSERT_TRUE(request);
  context.request = request.get();
  out.clear();
  browser::ExpandTemplate(context, "[$WCTX_Adverb|$WCTX_RefererURL|$WCTX_Kind]", &out);
  EXPECT_EQ(out, "[||V]");
}

TEST_F(Templates, IncludesQuotedNestedAndConfined) {
  Write("head part.pro", "<H>$WCTX_Include:inner.pro</H>");
  Write("inner.pro", "[$WCTX_ViewFolderName]");
  Write("sub/deep.pro", "deep");
  Write("self.pro", "x$WCTX_Include:self.pro");
  std::ofstream(program_ + "/top.pro") << "top-level";
  fs::create_symlink(root_ + "/outside.txt", program_ + "/htmdata/link.pro");
  struct {
    const char* text;
    const char* expanded;
  } cases[] = {
      {"a$WCTX_Include:\"head part.pro\"b", "a<H>[By Author]</H>b"},
      {"$WCTX_Include:sub/deep.pro!", "deep!"},
      {"$WCTX_Include:top.pro", "top-level"},  // the name unchanged, inside the folder
      {"$WCTX_Include:missing.pro!", "!"},
      {"$WCTX_Include:../../outside.txt!", "!"},
      {"$WCTX_Include:/etc/passwd!", "!"},
      {"$WCTX_Include:\"../../outside.txt\".", "."},
      {"$WCTX_Include:link.pro!", "!"},        // a link that points out of the folder
      {"$WCTX_Include:self.pro", "xxxxxxxx"},  // nesting ends
  };
  for (const auto& c : cases) EXPECT_EQ(Expand(c.text), c.expanded) << c.text;
}

TEST_F(Templates, ItemVariablesAndJavaScriptEscaping) {
  EXPECT_EQ(Expand("$WCTX_ItemInCurrentDoc:Body|"), "Ann's \"note\"\r\nsecond \\ line|");
  EXPECT_EQ(Expand("'$WCTX_JSItemInCurrentDoc:Body'"),
            "'Ann\\'s \\\"note\\\"<br>second \\\\ line'");
  EXPECT_EQ(Expand("[$WCTX_ItemInCurrentDoc:NoSuchItem]"), "[]");
  // At most 2048 bytes for JavaScript.
  VXHandle doc = 0;
  ASSERT_EQ(VXDocumentOpen(db_.handle, document_, 0, &doc), kVXOk);
  std::string big(5000, 'a');
  ASSERT_EQ(VXItemPut(doc, "Big", 0, 0, kVXTypeText, big.c_str(), 0), kVXOk);
  ASSERT_EQ(VXDocumentSave(doc, 0x10000), kVXOk);
  VXDocumentClose(doc, 0);
  EXPECT_EQ(Expand("$WCTX_JSItemInCurrentDoc:Big").size(), 2048u);
  EXPECT_EQ(Expand("$WCTX_ItemInCurrentDoc:Big").size(), 5000u);
}

// Regression: text of the request reached action bars unescaped.
TEST_F(Templates, RequestTextIsEscaped) {
  request_ = engine::ParseDatabaseRequest(
      "GET http://[kv]/Local:/t.ldf:/V%3Cb%3E/77/S%22%3E/3/4/{http://x/%22%3E%3Cscript%3E} "
      "HTTP/1.0\r\n\r\n");
  ASSERT_TRUE(request_);
  db_.path = "it's<b>.ldf";
  EXPECT_EQ(Expand("$WCTX_Adverb|$WCTX_Kind|$WCTX_RefererURL|$WCTX_DBFileName"),
            "S&quot;&gt;|V&lt;b&gt;|http://x/&quot;&gt;&lt;script&gt;|it&#39;s&lt;b&gt;.ldf");
  EXPECT_EQ(Expand("$WCTX_SelfURL").find('<'), std::string::npos);
}

}  // namespace
