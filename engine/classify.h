// Classification of a request by the pseudo-host at the front of its URL.
//
// Classic URLs (engine/url_mapping.h): the three long host names are
// rewritten into the short ones wherever they stand in the request, and the
// last one found decides:
//   http://Corvane.AsLedraClient/  ->  http://[kv]/   database request
//   http://Corvane.LookupReplica.  ->  http://[wr;    replica request
//   http://Corvane.Command/        ->  http://[wc]/   command request
//
// With the layer on (the default), browsers send the synonym forms that the
// output layer wrote: the request line's URL and the Referer header are
// written back into their pseudo-host forms (ToClassicUrl), and only the
// request line's URL decides the kind. A page of corvex is the Referer of
// every request made from it, and a link in a query string is no request
// for it: neither may turn a request for an ordinary web page into a
// database or command request.
#pragma once

#include <string>

#include "engine/request_entry.h"

namespace engine {

// Sets entry.eventType and rewrites rawRequest in place.
void Classify(RequestEntry& entry);
// The same on a bare request text; returns the EventType.
int ClassifyText(std::string& raw);

}  // namespace engine
