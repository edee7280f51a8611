// Pages that say what is missing and what to try.
#include "engine/helpful_page.h"

#include "common/html_escape.h"

namespace engine {

namespace {

constexpr char kPageStyle[] =
    "body{font-family:system-ui,'DejaVu Sans',Arial,sans-serif;color:#222;background:#fff;"
    "max-width:46em;margin:2.5em auto;padding:0 1.2em;line-height:1.5}"
    "h1{font-size:1.3em;font-weight:600;color:#1f4e8c;border-bottom:2px solid #1f4e8c;"
    "padding-bottom:.35em;margin-bottom:.8em}"
    "h2{font-size:1.05em;font-weight:600;margin:1.3em 0 .2em}"
    "ul{padding-left:1.3em;margin-top:.3em}li{margin:.25em 0}a{color:#1f4e8c}"
    "code{font-family:'DejaVu Sans Mono',monospace;background:#f1f3f6;padding:0 .3em}"
    ".note{color:#666;font-size:.9em;margin-top:2em}";
constexpr char kTryHeading[] = "<p>What you can do:</p>\n";
constexpr char kFooter[] =
    "<p class=\"note\">Corvane &middot; corvex, the local proxy of your Ledra databases</p>\n";

// A URL inside a double-quoted attribute: the characters HTML gives a
// meaning there are written as entities, except the apostrophe, which is
// harmless there and whose numeric entity ("&#39;") would read as a URL
// fragment to anything that looks at the raw page.
void AppendUrlAttribute(std::string_view url, std::string* out) {
  for (char c : url) {
    switch (c) {
      case '&':
        out->append("&amp;");
        break;
      case '"':
        out->append("&quot;");
        break;
      case '<':
        out->append("&lt;");
        break;
      case '>':
        out->append("&gt;");
        break;
      default:
        out->push_back(c);
    }
  }
}

}  // namespace

std::vector<PageLink> StartingPoints() {
  return {
      {"http://[kv]/", "Start page: the databases of this computer"},
      {"http://[kv]/Local:/kvhelp.ldf:/n/Contents", "Corvane Help"},
      {"http://[kv]/Local:/Samples/discuss.ldf:/V/By Category/LR/",
       "Sample Discussion, by category"},
      {"http://[kv]/Local:/Replicas.Web/kvwebrs.ldf:/V/by Category/LR/",
       "My Web Page Replicas, by category"},
  };
}

std::string LinkList(const std::vector<PageLink>& links) {
  std::string list = "<ul>\n";
  for (const PageLink& link : links) {
    list += "<li><a href=\"";
    AppendUrlAttribute(link.url, &list);
    list += "\" target=\"_top\">";
    common::AppendHtmlEscaped(link.text, &list);
    list += "</a></li>\n";
  }
  return list + "</ul>\n";
}

std::string HelpfulPage(std::string_view title, std::string_view what_html,
                        const std::vector<PageLink>& tries, std::string_view more_html) {
  std::string page = "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\">\n<title>Corvane: ";
  common::AppendHtmlEscaped(title, &page);
  page += "</title>\n<style>";
  page += kPageStyle;
  page += "</style></head>\n<body>\n<h1>";
  common::AppendHtmlEscaped(title, &page);
  page += "</h1>\n<p>";
  page += what_html;
  page += "</p>\n";
  page += more_html;
  if (!tries.empty()) {
    page += kTryHeading;
    page += LinkList(tries);
  }
  page += kFooter;
  page += "</body></html>\n";
  return page;
}

std::string HelpfulReply(std::string_view status, std::string_view title,
                         std::string_view what_html, const std::vector<PageLink>& tries,
                         std::string_view more_html) {
  return std::string(status) + "\r\n\r\n" + HelpfulPage(title, what_html, tries, more_html);
}

}  // namespace engine
