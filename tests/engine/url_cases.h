// URLs of every form of corvex's grammar, made from parts that stress the
// mapping: blanks, backslashes, braces, quotes, semicolons, percent signs,
// "?" and "#", non-ASCII text, upper case, dot segments, long names. Shared
// by the mapping's tests and the corpus the browser suite checks.
#pragma once

#include <string>
#include <vector>

namespace url_cases {

inline std::vector<std::string> DatabaseUrls() {
  const std::vector<std::string> servers = {"Local", "Hub/Sales", "a b", "caf\xC3\xA9"};
  const std::vector<std::string> databases = {"kvconfig.ldf",    "Mail\\Archive.LDF",
                                              "My Docs/{x}.ldf", "names;with;semis.ldf",
                                              "100%25 sure.ldf", "samples\\discuss.ldf"};
  const std::vector<std::string> tails = {
      "",
      "V/All Documents/LR/",
      "V/12/Xo1.2/1/1.2/#Xo1.2",
      "V/5/FS/?Query=a b&x='1'",
      "E/1234/LR/0/What's Next/{http://[kv]/Local:/kvconfig.ldf:/V/What's Next/LR/}/",
      "D/0/LR/%2F/\"quoted\"/{return {with} braces}/",
      "A/7/dp/0/report <1>.doc/{http://[wc]/}/",
      "n/Contents",
      "V/1/p/1/#bottom",
      "x/a#frag#more?q",
      "C/3/LR/c/12/?",
  };
  std::vector<std::string> urls = {"http://[kv]/",
                                   "HTTP://[KV]/Local:/Mail\\Archive.LDF:/V/1/LR/",
                                   "http://[kv]/Local:/x.ldf:/V/./LR/",
                                   "http://[kv]/Local:/x.ldf:/V/../LR/",
                                   "http://[kv]",
                                   "http://[kv]Local:/",
                                   "http://[kvx]/y",
                                   "http://[kv]?q"};
  for (const std::string& server : servers)
    for (const std::string& database : databases)
      for (const std::string& tail : tails)
        urls.push_back("http://[kv]/" + server + ":/" + database + ":/" + tail);
  return urls;
}

inline std::vector<std::string> CommandUrls() {
  return {"http://[wc]/",
          "http://[wc]",
          "http://[WC]/N/",
          "http://[wc]/M/?Hello world",
          "http://[wc]/F/?http://[kv]/Local:/discuss.ldf:/V/All Documents/LR/",
          "http://[wc]/S/?http://www.example.com/a%20b?c=d#e",
          "http://[wc]/D/D/http://[wr;$WCTX_CorvjobsicaContext]www.example.com/x.html",
          "http://[wc]/F/?http://corvane.asledraclient/Local:/x.ldf:/",
          "http://[wc]/7/?It's 100% \"done\" <now>",
          "http://[wc]/D/F/http://Corvane.Command/N/"};
}

inline std::vector<std::string> ReplicaUrls() {
  const std::vector<std::string> contexts = {"$WCTX_CorvjobsicaContext",
                                             "Local;Replicas.Web;kvwebrs.ldf",
                                             "Hub;x;y",
                                             "",
                                             "$wctx_corvjobsicacontext",
                                             "Local;" + std::string(90, 'r') + ".ldf",
                                             "sp ace;caf\xC3\xA9;%41"};
  const std::vector<std::string> keys = {
      "www.example.com/",
      "www.Example.com:8080/a b/c.html?x=1&y='2'#top",
      "host-with-dash.example/%7Euser/",
      "192.168.1.1/x",
      "xn--bcher-kva.example/",
      "a..b/c",
      ".lead/x",
      std::string(70, 'h') + ".example/y",
      "www.example.com/Stored Web Form Results/Tue_Jun_3_10_00_00_1997/",
      "www.example.com",
      "www.example.com?x",
      "/root-only",
      "www.example.com/a/./b",
  };
  std::vector<std::string> urls = {"http://[wr;",      "http://[wr]x/", "http://[WR;x]y/",
                                   "http://[wrx;x]y/", "http://[wr;x",  "http://[wrs;]/"};
  for (const char* open : {"http://[wr;", "http://[wrs;"})
    for (const std::string& context : contexts)
      for (const std::string& key : keys) urls.push_back(open + context + "]" + key);
  return urls;
}

inline std::vector<std::string> AllUrls() {
  std::vector<std::string> all = DatabaseUrls();
  for (auto& url : CommandUrls()) all.push_back(url);
  for (auto& url : ReplicaUrls()) all.push_back(url);
  return all;
}

// The classic text as classification folds it: "http" and the two
// pseudo-host letters in lower case.
inline std::string Folded(std::string url) {
  for (size_t i = 0; i < 4 && i < url.size(); ++i)
    if (url[i] >= 'A' && url[i] <= 'Z') url[i] = static_cast<char>(url[i] + 32);
  for (size_t i = 8; i < 10 && i < url.size(); ++i)
    if (url[i] >= 'A' && url[i] <= 'Z') url[i] = static_cast<char>(url[i] + 32);
  return url;
}

}  // namespace url_cases
