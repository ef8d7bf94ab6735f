// The queue as it is kept in the list folder across /plugin reload and
// restarts of WeeChat: a first line naming the form, then one request a
// line, the sends going on first, then the waiting ones in the order they
// will start. The fields are separated by tabs: server, nick, name as the
// list shows it, the file's path, failed sends of it, 1 when it counts
// in the chart (a file of the list) else 0. Nicks and names never hold
// control characters, so a tab or a line end cannot be part of one.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "send_queue.h"

namespace serve {

inline constexpr const char* kQueueFile = "quorbel-queue.txt";

std::string QueueFileText(const std::vector<Send>& sends);
// The requests of a queue file; a line that is not a whole request (a
// file from another form, cut or edited by hand) is passed over.
std::vector<Send> ReadQueueFile(std::string_view text);

}  // namespace serve
