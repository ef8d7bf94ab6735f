#include "serving.h"

#include <sys/stat.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iterator>
#include <sstream>
#include <vector>

#include "advert.h"
#include "ascii_text.h"
#include "config_sections.h"
#include "find_answer.h"
#include "hit_data.h"
#include "irc_line.h"
#include "ini_file.h"
#include "list_files.h"
#include "options.h"
#include "queue_file.h"
#include "replace_file.h"
#include "request.h"
#include "speed_cap.h"
#include "shared_names.h"
#include "utf8_text.h"
#include "weechat_api.h"

namespace serve {

namespace {

constexpr const char* kSearchData = "201 OK-DATA __ZOQ_SearchFile__ ";
constexpr size_t kLongestNotice = 400;  // an IRC line is 512 bytes with its prefix
constexpr long long kSecondsPerHour = 3600;
constexpr long long kSecondsPerMinute = 60;
// Restored requests wait this long for their users to come back.
constexpr long long kHeldSeconds = 10 * kSecondsPerMinute;
constexpr size_t kListTailBytes = 2048;  // holds the list's totals line
// Ended transfers xfer's list may hold before the plug-in purges it.
constexpr int kEndedTransfersKept = 50;

long long Now() { return static_cast<long long>(std::time(nullptr)); }

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// What the library needs to know, taken on WeeChat's thread.
struct Setup {
  std::string ini, directory, scratch;
  bool compress = false;
};

// A path option with "~" and WeeChat's ${...} names (${weechat_data_dir})
// expanded, as WeeChat's own path options are.
std::string PathOption(t_config_option* option) {
  char* path = weechat_string_eval_path_home(String(option).c_str(), nullptr, nullptr, nullptr);
  if (path == nullptr) return String(option);
  std::string expanded = path;
  free(path);
  return expanded;
}

Setup CurrentSetup() {
  return Setup{PathOption(options().ini), PathOption(options().directory),
               Info("weechat_data_dir", "").value_or(".") + "/quorbel",
               Boolean(options().compress)};
}

std::string Nick(const quorbel::IniFile& ini) {
  return ini.Value(quorbel::config::kListMake, quorbel::names::kNickKey).value_or("");
}

// The newest list of the configuration's nick in the list folder, or "".
std::string NewestList(const Setup& setup, const char* suffix) {
  const quorbel::IniFile ini = quorbel::ParseIni(ReadBytes(setup.ini));
  const std::optional<std::string> base = host::NewestListName(setup.directory, Nick(ini), suffix);
  return base ? host::InFolder(setup.directory, *base + suffix) : "";
}

// The folders the configuration walks, links resolved: only files below
// one of them are ever sent.
std::vector<std::string> DriveFolders(const Setup& setup) {
  const quorbel::IniFile ini = quorbel::ParseIni(ReadBytes(setup.ini));
  std::vector<std::string> folders;
  const quorbel::IniSection* drives = ini.Find(quorbel::config::kDrive);
  if (drives == nullptr) return folders;
  for (const quorbel::IniEntry& entry : drives->entries) {
    char resolved[PATH_MAX];
    if (realpath(entry.value.c_str(), resolved) != nullptr) folders.push_back(resolved);
  }
  return folders;
}

// `path` resolved, when it is a regular file below one of `folders`.
std::optional<std::string> Servable(const std::string& path, const std::vector<std::string>& folders) {
  char resolved[PATH_MAX];
  struct stat st;
  if (realpath(path.c_str(), resolved) == nullptr || stat(resolved, &st) != 0 ||
      !S_ISREG(st.st_mode)) {
    return std::nullopt;
  }
  const std::string file = resolved;
  if (PlainText(file) != file) return std::nullopt;  // no control byte reaches a command line
  for (const std::string& folder : folders) {
    const std::string below = folder.back() == '/' ? folder : folder + "/";
    if (file.compare(0, below.size(), below) == 0) return file;
  }
  return std::nullopt;
}

struct Channel {
  std::string server, name;
};

// quorbel.serve.channels: "server.#channel" items, comma-separated.
std::vector<Channel> ServedChannels() {
  std::vector<Channel> channels;
  std::stringstream list(String(options().channels));
  for (std::string item; std::getline(list, item, ',');) {
    const size_t dot = item.find('.');
    if (dot != std::string::npos) channels.push_back({item.substr(0, dot), item.substr(dot + 1)});
  }
  return channels;
}

// The last bytes of a file, or "".
std::string Tail(const std::string& path, size_t bytes) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  const std::streamoff size = in ? std::streamoff(in.tellg()) : 0;
  if (size <= 0) return "";
  in.seekg(size - std::min<std::streamoff>(size, std::streamoff(bytes)));
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Library-thread steps ---------------------------------------------------------

// Sets the list folder, the packing and the configuration; where a list of
// the nick is there already, a copy of the configuration that names it, so
// that finds and searches answer from it before any run.
std::string ConfigureLibrary(host::Library& library, const Setup& setup, std::string* list) {
  if (!library.Call("ZOQ_SetDirectory", setup.directory).Ok()) {
    return "the list folder " + setup.directory + " cannot be used";
  }
  library.Call("ZOQ_SetCompress", setup.compress ? "1" : "0");
  std::string ini_path = setup.ini;
  *list = NewestList(setup, quorbel::names::kListSuffix);
  if (!list->empty()) {
    const quorbel::IniFile ini = quorbel::ParseIni(ReadBytes(setup.ini));
    const std::string base = list->substr(setup.directory.size() + 1,
                                          list->size() - setup.directory.size() - 1 -
                                              std::string(quorbel::names::kListSuffix).size());
    mkdir(setup.scratch.c_str(), 0700);
    ini_path = setup.scratch + "/list.ini";
    std::ofstream(ini_path, std::ios::binary | std::ios::trunc) << host::NamingCopy(ini, base);
  }
  const host::Reply reply = library.Call("ZOQ_SetIniFile", ini_path);
  if (!reply.Ok()) return "the configuration " + setup.ini + " cannot be read: " + reply.data;
  return "";
}

// A request's name as the index holds it: the exact name, else the one
// name a find for it answers with that differs only in case (a line from a
// find, pasted back, is in lower case).
std::optional<std::string> IndexedPath(host::Library& library, const std::string& name,
                                       const std::string& list) {
  host::Reply reply = library.Call("ZOQ_SearchFile", name);
  if (reply.Code() == quorbel::names::kNothingFoundCode) {
    int count = 0;
    const host::Reply found = library.Call("ZOQ_At_Find", name);
    for (const std::string& line : host::FindLines(found, list, &count)) {
      const std::string listed(ListLineName(line));
      // As the find compares: A to Z without case, every other byte as it is.
      if (listed != name && host::LowerAscii(listed) == host::LowerAscii(name)) {
        reply = library.Call("ZOQ_SearchFile", listed);
        break;
      }
    }
  }
  if (!reply.Ok() || reply.data.rfind(kSearchData, 0) != 0) return std::nullopt;
  return reply.data.substr(std::string(kSearchData).size());
}

// A request kept in the queue file is let in again only if it still names
// what this server offers: a file the index names at the same place below
// a [drive] folder, or the newest list or its ZIP.
bool StillOffered(host::Library& library, const Send& send, const Setup& setup,
                  const std::vector<std::string>& folders, const std::string& list) {
  if (send.counted) {
    const std::optional<std::string> indexed = IndexedPath(library, send.name, list);
    return indexed && Servable(*indexed, folders) == send.path;
  }
  for (const char* suffix : {quorbel::names::kListSuffix, quorbel::names::kZipSuffix}) {
    const std::string newest = NewestList(setup, suffix);
    char resolved[PATH_MAX];
    if (!newest.empty() && newest.substr(newest.find_last_of('/') + 1) == send.name &&
        realpath(newest.c_str(), resolved) != nullptr && send.path == resolved) {
      return true;
    }
  }
  return false;
}

// Is xfer sending this already (a send that went on across /plugin reload)?
bool SendGoingOn(const Send& send) {
  t_infolist* xfers = weechat_infolist_get("xfer", nullptr, nullptr);
  if (xfers == nullptr) return false;
  bool found = false;
  while (!found && weechat_infolist_next(xfers)) {
    auto text = [xfers](const char* key) { return InfolistText(xfers, key); };
    const std::string status = text("status_string");
    found = text("type_string") == "file_send" && text("plugin_id") == send.server &&
            SameNick(text("remote_nick"), send.nick) && text("local_filename") == send.path &&
            (status == "waiting" || status == "connecting" || status == "active");
  }
  weechat_infolist_free(xfers);
  return found;
}

// xfer keeps every ended transfer in its list and, while the list is open,
// draws all of it again at each change of any: a server sending all day
// would make WeeChat slower with every send. Past kEndedTransfersKept ended
// ones the list is purged, as its own key "p" does (which also takes the
// owner's own ended transfers out of the list; their files stay). Once a
// tick: never while xfer is telling of a transfer that ended.
void PurgeEndedTransfers() {
  t_gui_buffer* list = weechat_buffer_search("xfer", "xfer.list");
  t_infolist* xfers = list != nullptr ? weechat_infolist_get("xfer", nullptr, nullptr) : nullptr;
  if (xfers == nullptr) return;
  int ended = 0;
  while (weechat_infolist_next(xfers)) {
    const std::string status = InfolistText(xfers, "status_string");
    ended += status == "done" || status == "failed" || status == "aborted";
  }
  weechat_infolist_free(xfers);
  if (ended > kEndedTransfersKept) weechat_command(list, "p");
}

}  // namespace

t_gui_buffer* ServeBuffer() {
  t_gui_buffer* buffer = weechat_buffer_search("quorbel", "quorbel");
  if (buffer == nullptr) {
    buffer = weechat_buffer_new("quorbel", nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    if (buffer != nullptr) weechat_buffer_set(buffer, "title", "quorbel: serving your list");
  }
  return buffer;
}

Server::Server(std::vector<std::string> library_candidates)
    : library_(std::move(library_candidates),
               [this](const std::string& path, const std::string& error) {
                 if (!error.empty()) {
                   load_failed_ = true;
                   generating_ = false;
                   Print("cannot load " + path + ": " + error +
                         " (set quorbel.serve.library to the library's path)");
                   return;
                 }
                 ready_ = true;
                 Print("loaded " + path);
                 Configure();
               }),
      last_run_(Now()) {}

Server::~Server() { SaveQueue(); }

void Server::Print(const std::string& text) {
  weechat_printf(ServeBuffer(), "quorbel: %s", PlainText(host::ToUtf8(text)).c_str());
}

void Server::Configure() {
  if (!ready_) return;
  const Setup setup = CurrentSetup();
  if (setup.ini.empty() || setup.directory.empty()) {
    Print("set quorbel.serve.ini and quorbel.serve.directory to serve a list");
    return;
  }
  library_.Post([this, setup](host::Library& library) -> LibraryThread::Then {
    std::string list;
    const std::string problem = ConfigureLibrary(library, setup, &list);
    return [this, problem, list] {
      list_path_ = list;
      if (!problem.empty()) return Print(problem);
      Print(list.empty() ? "no list yet: /quorbel generate makes one"
                         : "serving " + list);
      RestoreQueue();
    };
  });
}

// Asked for while the library is still loading, the run waits for it.
void Server::Generate(bool count_only) {
  if (load_failed_) return Print("the library is not loaded");
  if (generating_) return Print("a run is going on already (/quorbel stop ends it)");
  const Setup setup = CurrentSetup();
  generating_ = true;
  Print(count_only ? "counting the files..." : "making the list...");
  library_.Post([this, setup, count_only](host::Library& library) -> LibraryThread::Then {
    std::string list;
    std::string problem = ConfigureLibrary(library, setup, &list);
    // The run uses the configuration itself: its nick and today's date name the list.
    if (problem.empty()) library.Call("ZOQ_SetIniFile", setup.ini);
    const host::Reply reply =
        problem.empty() ? library.Call(count_only ? "ZOQ_CountFiles" : "ZOQ_StartGenerate")
                        : host::Reply{};
    const int files = library.Call("ZOQ_Status", "Files").Number();
    list = NewestList(setup, quorbel::names::kListSuffix);
    return [this, reply, problem, list, files, count_only] {
      generating_ = false;
      weechat_buffer_set(ServeBuffer(), "title", "quorbel: serving your list");
      if (!problem.empty()) return Print(problem);
      if (!reply.Ok()) return Print("the run failed: " + reply.data);
      if (count_only) return Print(std::to_string(files) + " files found");
      list_path_ = list;
      last_run_ = Now();
      Print("the list is made: " + list + " (" + std::to_string(files) + " files)");
    };
  });
}

void Server::Stop() {
  if (!generating_) return Print("no run is going on");
  library_.RequestStop();
  Print("stopping the run...");
}

void Server::PrintStatus() {
  Print(std::string(ready_ ? "library loaded" : "library not loaded") + "; " +
        (generating_ ? "a run is going on (" + std::to_string(library_.at_file()) + " of " +
                           std::to_string(library_.files()) + " files)"
                     : "idle") +
        "; list: " + (list_path_.empty() ? "none" : list_path_) + "; sending " +
        std::to_string(queue_.running().size()) + ", waiting " +
        std::to_string(queue_.waiting_count()));
}

void Server::PrintQueue() {
  for (const Send& send : queue_.running()) Print("sending " + send.name + " to " + send.nick);
  size_t place = 0;
  for (const Send& send : queue_.Waiting()) {
    Print(std::to_string(++place) + ". " + send.name + " for " + send.nick);
  }
  for (const Held& held : held_) {
    Print("kept from before, until " + held.send.nick + " is back: " + held.send.name);
  }
  if (queue_.running().empty() && place == 0 && held_.empty()) Print("the queue is empty");
}

void Server::RemoveFromQueue(size_t place) {
  Print(queue_.RemoveAt(place) ? "taken out of the queue: place " + std::to_string(place)
                               : "no request waits at place " + std::to_string(place));
}

void Server::ClearQueue() {
  const size_t count = queue_.waiting_count() + held_.size();
  queue_.ClearWaiting();
  held_.clear();
  Print(std::to_string(count) + " waiting requests taken out");
}

void Server::LocalFind(const std::string& pattern) {
  const std::string list = list_path_;
  library_.Post([this, pattern, list](host::Library& library) -> LibraryThread::Then {
    const host::Reply reply = library.Call("ZOQ_At_Find", pattern);
    int count = 0;
    const std::vector<std::string> lines = host::FindLines(reply, list, &count);
    return [this, reply, lines] {
      if (lines.empty()) return Print(reply.data);
      for (const std::string& line : lines) Print(line);  // Print shows it as UTF-8
    };
  });
}

void Server::LocalSearch(const std::string& name) {
  library_.Post([this, name](host::Library& library) -> LibraryThread::Then {
    const host::Reply reply = library.Call("ZOQ_SearchFile", name);
    return [this, reply] { Print(reply.data); };
  });
}

void Server::LocalInfo(const std::string& file) {
  library_.Post([this, file](host::Library& library) -> LibraryThread::Then {
    const host::Reply reply = library.Call("ZOQ_GetMPEGInfo", file);
    return [this, reply] { Print(reply.data); };
  });
}

// The count is kept in the list folder; the library thread writes it, so
// that a slow disk never holds WeeChat up and writes never overlap.
void Server::CountHit(const std::string& path) {
  const std::string folder = CurrentSetup().directory;
  if (folder.empty()) return;
  const std::string name = path.substr(path.find_last_of('/') + 1);
  library_.Post([this, folder, name](host::Library&) -> LibraryThread::Then {
    const std::string file = folder + "/" + quorbel::names::kHitDataFile;
    const std::string problem =
        ReplaceFile(folder, quorbel::names::kHitDataFile, AddHit(ReadBytes(file), name));
    return [this, problem] {
      if (!problem.empty()) Print("the download count is not kept: " + problem);
    };
  });
}

void Server::ClearChart() {
  const std::string folder = CurrentSetup().directory;
  if (folder.empty()) return Print("set quorbel.serve.directory first");
  library_.Post([this, folder](host::Library&) -> LibraryThread::Then {
    const std::string problem = ReplaceFile(folder, quorbel::names::kHitDataFile, "");
    return [this, problem] { Print(problem.empty() ? "the download counts are cleared" : problem); };
  });
}

void Server::Chart(const std::string& channel) {
  std::string server, target;
  if (!channel.empty()) {
    if (PlainText(channel) != channel || channel.find(' ') != std::string::npos) {
      return Print("no such channel");
    }
    const size_t dot = channel.find('.');
    if (dot != std::string::npos && dot + 1 < channel.size() && channel[dot + 1] == '#') {
      server = channel.substr(0, dot);
      target = channel.substr(dot + 1);
    } else {
      for (const Channel& served : ServedChannels()) {
        if (SameNick(served.name, channel)) {
          server = served.server;
          target = channel;
          break;
        }
      }
      if (server.empty()) return Print(channel + " is not a served channel (or give server.#channel)");
    }
  }
  if (load_failed_) return Print("the library is not loaded");
  const std::string folder = CurrentSetup().directory;
  library_.Post([this, folder, server, target](host::Library& library) -> LibraryThread::Then {
    const host::Reply reply = library.Call("ZOQ_StartUpdateChart");
    std::vector<std::string> lines;
    if (reply.Ok()) {
      std::stringstream chart(ReadBytes(folder + "/" + quorbel::names::kChartFile));
      for (std::string line; std::getline(chart, line);) {
        line = host::ToUtf8(ChartLineText(line));
        if (!line.empty()) lines.push_back(line);
      }
    }
    return [this, reply, lines, server, target] {
      if (!reply.Ok()) return Print("no chart: " + reply.data);
      if (lines.empty()) return Print("the chart is empty");
      if (target.empty()) {
        // Printed as they would show in the channel, colours and all.
        for (const std::string& line : lines) {
          weechat_printf(ServeBuffer(), "%s", line.c_str());
        }
        return;
      }
      t_gui_buffer* buffer = weechat_buffer_search("irc", ("server." + server).c_str());
      if (buffer == nullptr) return Print("not connected to " + server);
      for (const std::string& line : lines) {
        weechat_command(buffer, ("/msg " + target + " " + line).c_str());
      }
    };
  });
}

// --- the channels --------------------------------------------------------------

bool Server::Served(const std::string& server, const std::string& channel) const {
  const std::vector<Channel> channels = ServedChannels();
  return std::any_of(channels.begin(), channels.end(), [&](const Channel& served) {
    return served.server == server && SameNick(served.name, channel);
  });
}

Server::Parsed Server::Parse(const std::string& raw) {
  const IrcLine line = SplitIrcLine(raw);
  Parsed out;
  out.nick = IsNick(line.nick) ? line.nick : "";
  out.host = line.prefix.find('!') != std::string::npos ? line.prefix : line.nick + "!" + line.prefix;
  // PRIVMSG and PART name the channel first (NICK the new nick); a
  // PRIVMSG's text comes last.
  if (!line.params.empty()) out.channel = line.params.front();
  if (line.params.size() > 1) out.text = line.params.back();
  return out;
}

bool Server::IsNick(const std::string& nick) {
  return !nick.empty() && PlainText(nick) == nick && nick.find(' ') == std::string::npos;
}

void Server::OnMessage(const std::string& server, const std::string& raw) {
  if (!ready_) return;
  const Parsed message = Parse(raw);
  const std::string& nick = message.nick;
  const std::optional<std::string> own = Info("irc_nick", server);
  if (nick.empty() || !own || !Served(server, message.channel)) return;
  if (AnyMaskMatches(String(options().ignore), message.host)) return;
  const Asker asker{server, nick, *own};
  const Asked read = ReadRequest(message.text, *own);
  if (std::holds_alternative<std::monostate>(read)) return;
  // Every line answered counts against its user's limits, refusals too:
  // no user can make this server send more than the limits allow.
  const std::string key = server + " " + NickKey(nick);
  const FloodRules rules = CurrentFloodRules();
  const FloodGuard::Verdict verdict = std::holds_alternative<FindRequest>(read)
                                          ? flood_.Find(key, Now(), rules)
                                          : flood_.Request(key, Now(), rules);
  if (verdict == FloodGuard::Verdict::kIgnored) return;
  if (verdict == FloodGuard::Verdict::kIgnoreStarts) {
    return Notice(server, nick, "too many requests: you are ignored for " +
                                    std::to_string(Integer(options().ignore_minutes)) +
                                    " minutes");
  }
  if (std::holds_alternative<QueueAsk>(read)) return TellPlaces(asker);
  if (std::holds_alternative<RemoveAsk>(read)) {
    const size_t count = queue_.RemoveUser(server, nick);
    return Notice(server, nick, count == 0 ? "you have no requests waiting"
                                           : std::to_string(count) + " waiting requests taken out");
  }
  if (const auto* find = std::get_if<FindRequest>(&read)) {
    return Boolean(options().find) ? Find(asker, find->pattern) : void();
  }
  if (const auto* file = std::get_if<FileRequest>(&read)) return Request(asker, file->name);
  if (std::holds_alternative<ListRequest>(read)) return SendList(asker);
  if (const auto* refused = std::get_if<Refused>(&read)) Notice(server, nick, refused->notice);
}

void Server::TellPlaces(const Asker& asker) {
  const std::vector<size_t> places = queue_.PlacesOf(asker.server, asker.nick);
  if (places.empty()) return Notice(asker.server, asker.nick, "you have no requests waiting");
  std::string line = "your places in my queue:";
  for (size_t place : places) line += " " + std::to_string(place);
  Notice(asker.server, asker.nick, line + " (of " + std::to_string(queue_.waiting_count()) + ")");
}

// Still in one of the served channels of `server`, other than `left`?
bool Server::StillServed(const std::string& server, const std::string& nick,
                         const std::string& left) const {
  for (const Channel& channel : ServedChannels()) {
    if (channel.server != server || SameNick(channel.name, left)) continue;
    t_infolist* nicks = weechat_infolist_get(
        "irc_nick", nullptr, (server + "," + channel.name + "," + nick).c_str());
    if (nicks == nullptr) continue;
    const bool there = weechat_infolist_next(nicks) != 0;
    weechat_infolist_free(nicks);
    if (there) return true;
  }
  return false;
}

void Server::OnLeave(const std::string& server, const std::string& raw, bool quit) {
  const Parsed message = Parse(raw);
  const std::optional<std::string> own = Info("irc_nick", server);
  if (message.nick.empty() || (own && SameNick(message.nick, *own))) return;
  if (!quit && (!Served(server, message.channel) ||
                StillServed(server, message.nick, message.channel))) {
    return;
  }
  const size_t count = queue_.RemoveUser(server, message.nick);
  if (count > 0) {
    Print(message.nick + " left: " + std::to_string(count) + " waiting requests taken out");
  }
}

void Server::OnNickChange(const std::string& server, const std::string& raw) {
  const Parsed message = Parse(raw);
  const std::string& to = message.channel;  // the one parameter: the new nick
  if (message.nick.empty() || !IsNick(to)) return;
  queue_.RenameUser(server, message.nick, to, CurrentLimits());
  flood_.Rename(server + " " + NickKey(message.nick), server + " " + NickKey(to));
}

// The flood rules have let it through; nothing is sent when nothing
// matches.
void Server::Find(const Asker& asker, const std::string& pattern) {
  if (FindTooShort(pattern)) {
    return Notice(asker.server, asker.nick,
                  "a search needs at least " + std::to_string(kShortestFind) +
                      " characters other than *");
  }
  const std::string list = list_path_;
  library_.Post([this, asker, pattern, list](host::Library& library) -> LibraryThread::Then {
    int count = 0;
    std::vector<std::string> lines;
    const host::Reply reply = library.Call("ZOQ_At_Find", pattern);
    for (const std::string& line : host::FindLines(reply, list, &count)) {
      lines.push_back("!" + asker.own_nick + " " + host::ToUtf8(line));
    }
    return [this, asker, lines] {
      for (const std::string& line : lines) Notice(asker.server, asker.nick, line);
    };
  });
}

void Server::Request(const Asker& asker, const std::string& name) {
  const Setup setup = CurrentSetup();
  const std::string list = list_path_;
  library_.Post([this, asker, name, setup, list](host::Library& library) -> LibraryThread::Then {
    const std::optional<std::string> indexed = IndexedPath(library, name, list);
    const std::optional<std::string> path =
        indexed ? Servable(*indexed, DriveFolders(setup)) : std::nullopt;
    return [this, asker, name, path] {
      if (!path) return Notice(asker.server, asker.nick, name + " is not in my list");
      Enqueue(asker, name, *path, true);
    };
  });
}

void Server::SendList(const Asker& asker) {
  const Setup setup = CurrentSetup();
  const char* suffix = setup.compress ? quorbel::names::kZipSuffix : quorbel::names::kListSuffix;
  std::string list = NewestList(setup, suffix);
  if (list.empty()) return Notice(asker.server, asker.nick, "I have no list yet");
  char resolved[PATH_MAX];
  if (realpath(list.c_str(), resolved) == nullptr) return;
  const std::string name = list.substr(list.find_last_of('/') + 1);
  Enqueue(asker, name, resolved, false);
}

void Server::Enqueue(const Asker& asker, const std::string& name, const std::string& path,
                     bool counted) {
  size_t place = 0;
  const Limits limits = CurrentLimits();
  Send send{asker.server, asker.nick, name, path};
  send.counted = counted;
  switch (queue_.Add(send, limits, &place)) {
    case SendQueue::Outcome::kAlreadyAsked:
      return Notice(asker.server, asker.nick, name + " is queued for you already");
    case SendQueue::Outcome::kUserFull:
      return Notice(asker.server, asker.nick, "you have " + std::to_string(limits.queue_per_user) +
                                                  " requests waiting already; ask again later");
    case SendQueue::Outcome::kQueueFull:
      return Notice(asker.server, asker.nick, "my queue is full; ask again later");
    case SendQueue::Outcome::kQueued:
      break;
  }
  if (queue_.running().size() >= limits.slots) {
    Notice(asker.server, asker.nick, name + " is queued: place " + std::to_string(place) +
                                         " (" + std::to_string(queue_.running().size()) +
                                         " sending)");
  }
  StartSends();
}

void Server::StartSends() {
  ApplySpeedCap();
  // Blanks stay blanks in the names offered.
  if (t_config_option* spaces = weechat_config_get("xfer.file.convert_spaces")) {
    if (weechat_config_boolean(spaces)) weechat_config_option_set(spaces, "off", 1);
  }
  for (const Send& send : queue_.Start(CurrentLimits())) {
    t_gui_buffer* buffer = weechat_buffer_search("irc", ("server." + send.server).c_str());
    if (buffer == nullptr) {
      queue_.Finished(send.server, send.sent_to, send.path, true, CurrentLimits());
      continue;
    }
    weechat_command(buffer, ("/dcc send " + send.nick + " " + send.path).c_str());
  }
  stats_.Running(queue_.running().size());
}

void Server::OnSendEnded(const std::string& server, const std::string& nick,
                         const std::string& path, const std::string& status, uint64_t size,
                         long long start, long long end) {
  Send send;
  const SendQueue::Ended ended =
      queue_.Finished(server, nick, path, status == "done", CurrentLimits(), &send);
  if (ended == SendQueue::Ended::kNotRunning) return;  // not one of ours
  stats_.Ended(status == "done", size, start, end);
  switch (ended) {
    case SendQueue::Ended::kNotRunning:
      return;
    case SendQueue::Ended::kDone:
      if (send.counted) CountHit(send.path);
      break;
    case SendQueue::Ended::kRetried:
      Print("the send of " + path + " to " + nick + " ended: " + status + "; it is tried once more");
      break;
    case SendQueue::Ended::kDropped:
      Print("the send of " + path + " to " + nick + " ended: " + status + "; it is dropped");
      break;
  }
  StartSends();
}

void Server::Notice(const std::string& server, const std::string& nick, const std::string& text) {
  t_gui_buffer* buffer = weechat_buffer_search("irc", ("server." + server).c_str());
  if (buffer == nullptr) return;
  std::string line = PlainText(text);
  if (line.size() > kLongestNotice) line.resize(kLongestNotice);
  weechat_command(buffer, ("/notice " + nick + " " + line).c_str());
}

void Server::OnTick() {
  if (generating_) {
    weechat_buffer_set(ServeBuffer(), "title",
                       ("quorbel: making the list, " + std::to_string(library_.at_file()) +
                        " of " + std::to_string(library_.files()) + " files")
                           .c_str());
  }
  const int hours = Integer(options().regenerate_hours);
  if (hours > 0 && ready_ && !generating_ && Now() - last_run_ >= hours * kSecondsPerHour) {
    Generate(false);
  }
  ApplySpeedCap();
  ReleaseHeld();
  SaveQueue();
  Advertise();
  PurgeEndedTransfers();
}

// --- the queue kept across loads ------------------------------------------------

// Once per load, after the library first answers from the list: the kept
// requests that still name what is offered come back, a send that xfer
// still makes (across /plugin reload) as going on, the others when their
// users are seen again.
void Server::RestoreQueue() {
  if (restore_ != Restore::kNotYet) return;
  restore_ = Restore::kGoingOn;
  const Setup setup = CurrentSetup();
  const std::vector<Send> kept = ReadQueueFile(ReadBytes(setup.directory + "/" + kQueueFile));
  const std::string list = list_path_;
  library_.Post([this, kept, setup, list](host::Library& library) -> LibraryThread::Then {
    std::vector<Send> offered;
    const std::vector<std::string> folders = DriveFolders(setup);
    for (const Send& send : kept) {
      if (IsNick(send.nick) && StillOffered(library, send, setup, folders, list)) {
        offered.push_back(send);
      }
    }
    return [this, offered, count = kept.size()] {
      for (const Send& send : offered) {
        if (SendGoingOn(send)) {
          queue_.Adopt(send);
        } else {
          held_.push_back({send, Now()});
        }
      }
      restore_ = Restore::kDone;
      if (count > 0) {
        Print(std::to_string(offered.size()) + " requests kept from before" +
              (offered.size() < count ? " (" + std::to_string(count - offered.size()) +
                                            " no longer in the list)"
                                      : ""));
      }
      ReleaseHeld();
    };
  });
}

// A request let in again goes through the limits as a new one would.
void Server::ReleaseHeld() {
  if (held_.empty()) return;
  const Limits limits = CurrentLimits();
  std::vector<Held> still;
  size_t back = 0, gone = 0, refused = 0;
  for (Held& held : held_) {
    if (StillServed(held.send.server, held.send.nick, "")) {
      ++back;
      const SendQueue::Outcome outcome = queue_.Add(held.send, limits, nullptr);
      refused += outcome == SendQueue::Outcome::kUserFull || outcome == SendQueue::Outcome::kQueueFull;
    } else if (Now() - held.since < kHeldSeconds) {
      still.push_back(std::move(held));
    } else {
      ++gone;
    }
  }
  held_ = std::move(still);
  if (gone > 0) Print(std::to_string(gone) + " requests kept from before dropped: their users did not come back");
  if (refused > 0) Print(std::to_string(refused) + " requests kept from before did not fit in the queue");
  if (back > 0) StartSends();
}

// Written when it changed, at most once a tick, and when the plug-in ends.
void Server::SaveQueue() {
  const std::string folder = CurrentSetup().directory;
  if (restore_ != Restore::kDone || folder.empty()) return;
  std::vector<Send> all = queue_.All();
  for (const Held& held : held_) all.push_back(held.send);
  const std::string text = QueueFileText(all);
  if (text == saved_queue_) return;
  const std::string problem = ReplaceFile(folder, kQueueFile, text);
  if (problem.empty()) saved_queue_ = text;
  if (!problem.empty() && problem != save_problem_) Print("the queue is not kept: " + problem);
  save_problem_ = problem;
}

// --- speed and advertisement ----------------------------------------------------

// Where neither cap is set, xfer's own limit stays as the user set it.
void Server::ApplySpeedCap() {
  const int cap = SendSpeedCap(Integer(options().speed_limit),
                               Integer(options().speed_limit_per_send), CurrentLimits().slots);
  if (cap == 0 && !capping_) return;
  t_config_option* limit = weechat_config_get("xfer.network.speed_limit_send");
  if (limit == nullptr) return;
  if (weechat_config_integer(limit) != cap) {
    weechat_config_option_set(limit, std::to_string(cap).c_str(), 1);
  }
  capping_ = cap != 0;
}

// Turned on, the line goes out at once, so that the owner sees it; then
// every N minutes.
void Server::Advertise() {
  const int minutes = Integer(options().advertise_minutes);
  if (minutes != advert_minutes_) {
    advert_minutes_ = minutes;
    last_advert_ = 0;
  }
  if (minutes <= 0 || list_path_.empty() || Now() - last_advert_ < minutes * kSecondsPerMinute) {
    return;
  }
  last_advert_ = Now();
  const auto totals = ListTotals(Tail(list_path_, kListTailBytes));
  const size_t open = list_path_.find_last_of('['), close = list_path_.find_last_of(']');
  if (!totals || open == std::string::npos || close == std::string::npos || close < open) return;
  Advert advert{"", totals->first, totals->second, list_path_.substr(open + 1, close - open - 1),
                CurrentLimits().slots, queue_.running().size(),
                queue_.waiting_count() + held_.size(), Boolean(options().find)};
  for (const Channel& channel : ServedChannels()) {
    const std::optional<std::string> own = Info("irc_nick", channel.server);
    t_gui_buffer* buffer = weechat_buffer_search("irc", ("server." + channel.server).c_str());
    if (!own || buffer == nullptr) continue;
    advert.nick = *own;
    weechat_command(buffer, ("/msg " + channel.name + " " + PlainText(AdvertLine(advert))).c_str());
  }
}

}  // namespace serve
