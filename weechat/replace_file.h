// The plug-in's own small files (download counts, the queue) are replaced
// whole, so that a crash leaves the old file or the new one, never a part.
#pragma once

#include <string>

namespace serve {

// Replaces `folder`/`name` with `text`: a temporary file in the same folder,
// synced, renamed over it, the folder synced. Empty when done, else why not.
std::string ReplaceFile(const std::string& folder, const std::string& name, const std::string& text);

}  // namespace serve
