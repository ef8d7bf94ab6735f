// find, search and info: the subcommands that only read.
#include <fcntl.h>
#include <unistd.h>

#include <map>

#include "check.h"
#include "commands.h"
#include "config_sections.h"
#include "files.h"
#include "find_answer.h"
#include "list_files.h"

namespace host {

namespace {

constexpr size_t kShownHits = quorbel::names::kFindEntriesSent;
constexpr const char* kSearchData = "201 OK-DATA __ZOQ_SearchFile__ ";
constexpr const char* kInfoData = "201 OK-DATA";
constexpr const char* kInfoTag = " __ZOQ_GetMPEGInfo__";
constexpr int kNothingFound = quorbel::names::kNothingFoundCode;

struct Lookup {
  std::string ini;
  std::string directory;
  std::string list;  // the list or index file to answer from
  std::string library_ini;  // what the library reads: INI, or a copy naming the list
};

bool WriteFile(const std::string& path, const std::string& bytes) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  const bool ok = write(fd, bytes.data(), bytes.size()) == ssize_t(bytes.size());
  return close(fd) == 0 && ok;
}

// Finds the list (or index) to answer from and prepares the library with
// it, without writing into the list folder. False with the problem in `o`.
bool PrepareLookup(Session& s, const Arguments& a, const char* suffix, const ScratchFolder& scratch,
                   Lookup* l, Outcome* o) {
  l->ini = a.positional[0];
  l->directory = a.positional[1];
  std::vector<Problem> problems;
  std::optional<IniFile> ini = CheckConfiguration(l->ini, Need::kLookup, &problems);
  if (std::optional<Problem> folder = CheckListFolder(l->directory, false)) problems.push_back(*folder);
  if (StopsTheJob(std::move(problems), Force::kNotOffered, o)) return false;
  const std::string what = suffix == std::string(kListSuffix) ? "list" : "index";
  l->library_ini = l->ini;
  std::string name = ini->Value(quorbel::config::kListMake, "name").value_or("");
  if (name.empty()) {
    const std::optional<std::string> newest = NewestListName(l->directory, Nick(*ini), suffix);
    if (!newest) {
      o->Fail({l->directory, "no " + what + " for the nick " + Nick(*ini) +
                                 " yet; make one with: quorbel generate " + l->ini + " " + l->directory});
      return false;
    }
    name = *newest;
    if (!scratch.ok()) return o->Fail({"", scratch.error(), false}), false;
    l->library_ini = InFolder(scratch.path(), "list.ini");
    if (!WriteFile(l->library_ini, NamingCopy(*ini, name))) {
      return o->Fail({l->library_ini, "cannot write a scratch copy of the configuration"}), false;
    }
  }
  l->list = InFolder(l->directory, name + suffix);
  o->fields.Path(what, l->list);
  if (!PathExists(l->list)) {
    o->Fail({l->list, "no such " + what + " (named by name= in " + l->ini + ")"});
    return false;
  }
  return s.Prepare(l->library_ini, l->directory, o);
}

// "(A:value)" or "(A: N/A)" without its frame; nullopt for another label.
std::optional<std::string> TagValue(const std::string& group, const std::string& opening) {
  if (group.rfind(opening, 0) != 0 || group.empty() || group.back() != ')') return std::nullopt;
  const std::string value = group.substr(opening.size(), group.size() - opening.size() - 1);
  return value == " N/A" ? std::string() : value;
}

void AddField(Outcome* o, const std::string& key, const std::string& label, const std::string& value) {
  o->data.push_back({label + (value.empty() ? ":" : ": "), value, false});
  o->fields.Text(key, value);
}

// " 128/44" S mode S "[4m28s]" [S "::ID3::" S "(A:..)" S "(T:..)" ...]
void InfoFields(const std::string& info, Outcome* o) {
  std::vector<std::string> groups;
  for (size_t pos = 0;;) {
    const size_t end = info.find(kSep, pos);
    groups.push_back(info.substr(pos, end - pos));
    if (end == std::string::npos) break;
    pos = end + 1;
  }
  const std::string& rate = groups[0];
  const size_t slash = rate.find('/');
  const std::string bitrate = rate.substr(1, slash - 1);
  AddField(o, "bitrate", "bitrate", bitrate == "VAR" ? "variable" : bitrate + " kbit/s");
  if (slash != std::string::npos) AddField(o, "sample_rate", "sample rate", rate.substr(slash + 1) + " kHz");
  if (groups.size() > 1) AddField(o, "mode", "mode", groups[1]);
  if (groups.size() > 2) AddField(o, "time", "time", groups[2].substr(1, groups[2].size() - 2));
  static const char* const kTag[][3] = {{"(A:", "artist", "artist"}, {"(T:", "title", "title"},
                                        {"(Ab:", "album", "album"},  {"(G:", "genre", "genre"},
                                        {"(C:", "comment", "comment"}};
  // A value may hold the separator itself: groups that start no known field
  // belong to the one before.
  size_t next = 0;
  std::string pending;
  for (size_t g = 4; g < groups.size(); ++g) {
    pending += (pending.empty() ? "" : std::string(1, kSep)) + groups[g];
    const bool last = g + 1 == groups.size();
    const bool ends = last || (next + 1 < std::size(kTag) && groups[g + 1].rfind(kTag[next + 1][0], 0) == 0);
    if (!ends || next >= std::size(kTag)) continue;
    if (std::optional<std::string> value = TagValue(pending, kTag[next][0])) {
      AddField(o, kTag[next][1], kTag[next][2], *value);
    }
    pending.clear();
    ++next;
  }
  o->fields.Bool("tag", groups.size() > 3);
}

}  // namespace

int RunFind(Session& s, const Arguments& a) {
  Outcome o{"find"};
  const std::string& pattern = a.positional[2];
  o.fields.Text("pattern", pattern);
  ScratchFolder scratch;
  Lookup l;
  if (!PrepareLookup(s, a, kListSuffix, scratch, &l, &o)) return s.Emit(o);
  o.reply = s.Call("ZOQ_At_Find", pattern);
  if (o.reply.Code() == kNothingFound) {
    o.status = kExitFailure;
    o.notes.push_back({pattern, "nothing found in " + l.list, false});
    return s.Emit(o);
  }
  if (!o.reply.Ok()) return s.Emit(o.Fail(Explain(o.reply, l.list)));
  int count = 0;
  std::vector<std::string> hits;
  for (const std::string& hit : FindLines(o.reply, l.list, &count)) {
    o.data.push_back({"", hit, false});
    hits.push_back(JsonText(hit));
  }
  o.fields.Raw("hits", JsonArray(hits)).Bool("more", count > int(kShownHits));
  if (count > int(kShownHits)) {
    o.notes.push_back({"", "more than " + std::to_string(kShownHits) +
                               " entries match; the first 5 are shown, as the library answers",
                       false});
  }
  return s.Emit(o);
}

int RunSearch(Session& s, const Arguments& a) {
  Outcome o{"search"};
  const std::string& name = a.positional[2];
  ScratchFolder scratch;
  Lookup l;
  if (!PrepareLookup(s, a, kIndexSuffix, scratch, &l, &o)) return s.Emit(o);
  o.reply = s.Call("ZOQ_SearchFile", name);
  if (o.reply.Code() == kNothingFound) {
    return s.Emit(o.Fail({name, "not in the index " + l.list, false}));
  }
  if (!o.reply.Ok()) return s.Emit(o.Fail(Explain(o.reply, l.list)));
  const std::string path = o.reply.data.substr(std::string(kSearchData).size());
  o.data.push_back({"", path, true});
  o.fields.Path("path", path);
  if (!PathExists(path)) {
    o.notes.push_back({path, "no longer there; the index is older than the file's current name"});
  }
  return s.Emit(o);
}

int RunInfo(Session& s, const Arguments& a) {
  Outcome o{"info"};
  const std::string& file = a.positional[0];
  o.fields.Path("file", file);
  if (std::optional<std::string> why = PathProblem(file, Want::kReadableFile)) {
    return s.Emit(o.Fail({file, *why}));
  }
  o.reply = s.Call("ZOQ_GetMPEGInfo", file);
  if (o.reply.Code() == 507) {
    return s.Emit(o.Fail({file, "not MPEG audio: the name must end in .mp3 or .mp2 and the file "
                                "must start with a valid frame header (reply 507)"}));
  }
  if (!o.reply.Ok()) return s.Emit(o.Fail(Explain(o.reply, file)));
  const std::string& data = o.reply.data;
  const size_t start = std::string(kInfoData).size();
  const size_t tag = data.rfind(kInfoTag);
  InfoFields(data.substr(start, tag == std::string::npos ? std::string::npos : tag - start), &o);
  return s.Emit(o);
}

}  // namespace host
