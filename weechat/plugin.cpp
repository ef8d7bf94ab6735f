// The WeeChat plug-in "quorbel": serves the list that libquorbel.so makes
// to the channels named in quorbel.serve.channels, and gives the owner the
// /quorbel command. What it does lives in serving.cpp; here it is wired to
// WeeChat.
#include <dlfcn.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "options.h"
#include "serving.h"
#include "weechat_api.h"

WEECHAT_PLUGIN_NAME("quorbel")
WEECHAT_PLUGIN_DESCRIPTION("Serves your music list: @find, !nick file and @nick in your channels")
WEECHAT_PLUGIN_AUTHOR("the quorbel developers")
WEECHAT_PLUGIN_VERSION(QUORBEL_PLUGIN_VERSION)
WEECHAT_PLUGIN_LICENSE("GPL3")

struct t_weechat_plugin* weechat_plugin = nullptr;

namespace {

constexpr int kTickMs = 1000;
constexpr const char* kLibraryName = "libquorbel.so";
constexpr const char* kLibraryVariable = "QUORBEL_LIBRARY";

std::unique_ptr<serve::Server> g_server;
std::vector<t_hook*> g_hooks;

// Where the library is looked for: the option, $QUORBEL_LIBRARY, beside
// this plug-in's real file, the build tree's bin/ above it, and the
// installed layout (PREFIX/lib/weechat/plugins/ -> PREFIX/lib/quorbel/).
std::vector<std::string> LibraryCandidates() {
  if (std::string set = serve::String(serve::options().library); !set.empty()) return {set};
  if (const char* path = std::getenv(kLibraryVariable); path != nullptr && *path != '\0') return {path};
  Dl_info info{};
  char resolved[PATH_MAX];
  if (dladdr(reinterpret_cast<void*>(&LibraryCandidates), &info) == 0 || info.dli_fname == nullptr ||
      realpath(info.dli_fname, resolved) == nullptr) {
    return {kLibraryName};
  }
  std::string folder = resolved;
  folder.erase(folder.find_last_of('/') + 1);
  return {folder + kLibraryName, folder + "../" + kLibraryName,
          folder + "../../quorbel/" + kLibraryName};
}

int OnCommand(const void*, void*, t_gui_buffer*, int argc, char** argv, char** argv_eol) {
  if (argc < 2) return WEECHAT_RC_ERROR;
  const std::string verb = argv[1];
  const std::string rest = argc > 2 ? argv_eol[2] : "";
  serve::Server& s = *g_server;
  if (verb == "generate") {
    s.Generate(false);
  } else if (verb == "count") {
    s.Generate(true);
  } else if (verb == "stop") {
    s.Stop();
  } else if (verb == "status") {
    s.PrintStatus();
  } else if (verb == "stats" && argc == 2) {
    s.PrintStats();
  } else if (verb == "queue" && argc == 2) {
    s.PrintQueue();
  } else if (verb == "queue" && argc == 3 && std::strcmp(argv[2], "clear") == 0) {
    s.ClearQueue();
  } else if (verb == "queue" && argc == 4 && std::strcmp(argv[2], "remove") == 0) {
    char* end = nullptr;
    const unsigned long place = std::strtoul(argv[3], &end, 10);
    if (end == argv[3] || *end != '\0') return WEECHAT_RC_ERROR;
    s.RemoveFromQueue(place);
  } else if (verb == "chart" && argc == 3 && std::strcmp(argv[2], "clear") == 0) {
    s.ClearChart();
  } else if (verb == "chart" && argc <= 3) {
    s.Chart(argc == 3 ? argv[2] : "");
  } else if (verb == "find" && !rest.empty()) {
    s.LocalFind(rest);
  } else if (verb == "search" && !rest.empty()) {
    s.LocalSearch(rest);
  } else if (verb == "info" && !rest.empty()) {
    s.LocalInfo(rest);
  } else {
    return WEECHAT_RC_ERROR;
  }
  return WEECHAT_RC_OK;
}

// "SERVER,irc_in2_privmsg": the message after WeeChat's own handling.
int OnPrivmsg(const void*, void*, const char* signal, const char*, void* data) {
  const std::string name = signal;
  const size_t comma = name.find(',');
  if (comma != std::string::npos && data != nullptr) {
    g_server->OnMessage(name.substr(0, comma), static_cast<const char*>(data));
  }
  return WEECHAT_RC_OK;
}

// "SERVER,irc_in2_part" and the like: the server and the raw line.
template <void (*Handle)(const std::string&, const char*)>
int OnServerSignal(const void*, void*, const char* signal, const char*, void* data) {
  const std::string name = signal;
  const size_t comma = name.find(',');
  if (comma != std::string::npos && data != nullptr) {
    Handle(name.substr(0, comma), static_cast<const char*>(data));
  }
  return WEECHAT_RC_OK;
}

void Part(const std::string& server, const char* raw) { g_server->OnLeave(server, raw, false); }
void Quit(const std::string& server, const char* raw) { g_server->OnLeave(server, raw, true); }
void NickChange(const std::string& server, const char* raw) { g_server->OnNickChange(server, raw); }

int OnXferEnded(const void*, void*, const char*, const char*, void* data) {
  auto* infolist = static_cast<t_infolist*>(data);
  if (infolist == nullptr || !weechat_infolist_next(infolist)) return WEECHAT_RC_OK;
  auto text = [infolist](const char* key) { return serve::InfolistText(infolist, key); };
  if (text("type_string") == "file_send") {
    // "filename" is the name offered; the path sent is the local one.
    // xfer gives sizes as decimal strings and the times in seconds; a
    // resumed send sent the bytes from its resume position on.
    const uint64_t size = std::strtoull(text("size").c_str(), nullptr, 10);
    const uint64_t resumed_at = std::strtoull(text("start_resume").c_str(), nullptr, 10);
    g_server->OnSendEnded(text("plugin_id"), text("remote_nick"), text("local_filename"),
                          text("status_string"), size - std::min(size, resumed_at),
                          static_cast<long long>(weechat_infolist_time(infolist, "start_transfer")),
                          static_cast<long long>(weechat_infolist_time(infolist, "last_activity")));
  }
  return WEECHAT_RC_OK;
}

int OnAnswers(const void*, void*, int) {
  g_server->RunAnswers();
  return WEECHAT_RC_OK;
}

int OnTick(const void*, void*, int) {
  g_server->OnTick();
  return WEECHAT_RC_OK;
}

void OnOptionsChanged() {
  if (g_server) g_server->Configure();
}

}  // namespace

extern "C" int weechat_plugin_init(struct t_weechat_plugin* plugin, int, char**) {
  weechat_plugin = plugin;
  if (!serve::CreateOptions(&OnOptionsChanged)) return WEECHAT_RC_ERROR;
  g_server = std::make_unique<serve::Server>(LibraryCandidates());
  g_hooks = {
      weechat_hook_command(
          "quorbel", "serve your music list in IRC channels",
          "generate || count || stop || status || stats || queue [remove <n>|clear] "
          "|| chart [<#channel>|clear] || find <pattern> || search <name> || info <file>",
          "generate: make the list anew (in the background; progress in the quorbel buffer's title)\n"
          "   count: count the files the list would hold\n"
          "    stop: stop a running generate or count\n"
          "  status: the library, the run, the list and the sends\n"
          "   stats: sends done and failed, bytes sent, the best rate and the most at once since\n"
          "          loading\n"
          "   queue: the sends going on and waiting (users take turns); remove <n> takes the\n"
          "          request at place n out, clear all waiting ones\n"
          "   chart: the download chart made anew, posted to the channel or shown here; clear\n"
          "          empties the download counts (ZOQHitData.hdt in the list folder)\n"
          "    find: what @find <pattern> answers (wildcard *)\n"
          "  search: the path of a file of the list, by its exact name\n"
          "    info: the MPEG data of one file\n\n"
          "Options: /set quorbel.serve.* (ini, directory, channels, slots, sends_per_user, "
          "queue_per_user, queue_size, compress, regenerate_hours, speed_limit, "
          "speed_limit_per_send, advertise_minutes, find, find_interval, requests_per_minute, "
          "ignore_minutes, ignore, library).\n"
          "Channel users type @find <pattern>, !<your nick> <file name> (or paste a list line) "
          "and @<your nick> for the list; @<your nick>-que tells them their places, "
          "@<your nick>-remove takes their waiting requests out.",
          "generate|count|stop|status|stats|find|search|info || queue remove|clear "
          "|| chart clear",
          &OnCommand, nullptr, nullptr),
      weechat_hook_signal("*,irc_in2_privmsg", &OnPrivmsg, nullptr, nullptr),
      weechat_hook_signal("*,irc_in2_part", &OnServerSignal<&Part>, nullptr, nullptr),
      weechat_hook_signal("*,irc_in2_quit", &OnServerSignal<&Quit>, nullptr, nullptr),
      weechat_hook_signal("*,irc_in2_nick", &OnServerSignal<&NickChange>, nullptr, nullptr),
      weechat_hook_signal("xfer_ended", &OnXferEnded, nullptr, nullptr),
      weechat_hook_fd(g_server->answer_fd(), 1, 0, 0, &OnAnswers, nullptr, nullptr),
      weechat_hook_timer(kTickMs, 0, 0, &OnTick, nullptr, nullptr),
  };
  return WEECHAT_RC_OK;
}

extern "C" int weechat_plugin_end(struct t_weechat_plugin*) {
  for (t_hook* hook : g_hooks) weechat_unhook(hook);
  g_hooks.clear();
  g_server.reset();  // stops a run and closes the library on its own thread
  serve::WriteAndFreeOptions();
  return WEECHAT_RC_OK;
}
