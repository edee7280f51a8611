// Fuzz target: the stored copy of a fetched response (page, redirection,
// style sheet, as is) with its link rewriting and rewritten length, and the
// response readers the crawl uses on it.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "jobs/http_response.h"
#include "jobs/stored_response.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view response(reinterpret_cast<const char*>(data), size);
  for (jobs::StoredKind kind : {jobs::StoredKind::kPage, jobs::StoredKind::kRedirect,
                                jobs::StoredKind::kStyleSheet, jobs::StoredKind::kAsIs}) {
    long body = -1;
    std::string stored = jobs::StoredResponse(response, kind, &body);
    if (body < 0 || static_cast<size_t>(body) > size) __builtin_trap();
    if (kind == jobs::StoredKind::kAsIs && stored != response) __builtin_trap();
  }
  (void)jobs::ResponseStatus(response);
  std::string value;
  (void)jobs::HeaderValue(response, "Content-length:", &value);
  (void)jobs::HeaderValue(response, "Last-modified:", &value);
  (void)jobs::PageTitle(response, &value);
  return 0;
}
