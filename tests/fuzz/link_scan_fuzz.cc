// Fuzz target: link extraction of a fetched element (page, style sheet,
// anything else, with and without the storage veto, as a redirection) and
// the normalisation of every link found against a referrer.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "jobs/link_normalise.h"
#include "jobs/link_scan.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  // The first byte picks the scan; the rest is the text.
  uint8_t mode = data[0];
  std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
  jobs::ScanKind kind = static_cast<jobs::ScanKind>(mode % 3);
  int status = (mode & 0x10) ? 302 : 200;
  bool veto = (mode & 0x20) != 0;
  jobs::LinkScan scan = jobs::ExtractLinks(text, status, veto, kind);
  if (scan.list.size() > jobs::kMaxLinkList) __builtin_trap();
  const char* referrer = (mode & 0x40) ? "http://h" : "http://h/x/y/p.htm";
  size_t at = 0;
  while (at < scan.list.size()) {
    size_t end = scan.list.find('\n', at);
    if (end == std::string::npos) __builtin_trap();  // every line ends with a line feed
    std::string url;
    if (jobs::NormaliseLink(std::string_view(scan.list).substr(at + 1, end - at - 1), referrer,
                            &url)) {
      (void)jobs::ElementKey(url);
      (void)jobs::PassesBounds(url, "*.b.c/, http://h/x/");
    }
    at = end + 1;
  }
  // Normalisation on its own, the text as one link.
  std::string url;
  (void)jobs::NormaliseLink(text, referrer, &url);
  return 0;
}
