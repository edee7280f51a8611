// Classification of a request by the pseudo-host at the front of its URL,
// and the rewriting of the three long host names into the short ones:
//   http://Corvane.AsLedraClient/  ->  http://[kv]/   database request
//   http://Corvane.LookupReplica.  ->  http://[wr;    replica request
//   http://Corvane.Command/        ->  http://[wc]/   command request
#pragma once

#include <string>

#include "engine/request_entry.h"

namespace engine {

// Sets entry.eventType and rewrites rawRequest in place.
void Classify(RequestEntry& entry);
// The same on a bare request text; returns the EventType.
int ClassifyText(std::string& raw);

}  // namespace engine
