// What a find answers, as a host shows it: the entries of the reply, and
// the list lines they stand for in the case the list holds them (the
// library answers in lower case). The command-line host prints them; the
// WeeChat plug-in sends them to the channel user who asked.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "library.h"

namespace host {

// The entries of a "201 OK-DATA __ZOQ_At_Find__ COUNT" reply, from both
// buffers, split at the separator; `count` gets COUNT (6: more matched).
std::vector<std::string> FindEntries(const Reply& reply, int* count);

// Each entry mapped to its list line after the "!nick ", squeezed and
// trimmed as the entry is, in the list's own case; an entry whose line is
// not found maps to itself. The list is read until every entry has its line.
std::map<std::string, std::string> StoredCase(const std::string& list,
                                              const std::vector<std::string>& entries);

// A find reply's entries as their lines of `list` (after "!nick "), in the
// list's own case and the reply's order; `count` as FindEntries gives it.
// Empty for a reply that is not a find's data reply.
std::vector<std::string> FindLines(const Reply& reply, const std::string& list, int* count);

}  // namespace host
