// generate and count: the jobs that walk the music folders.
#include <cerrno>
#include <cstring>
#include <memory>

#include "check.h"
#include "commands.h"
#include "files.h"
#include "list_files.h"
#include "lock.h"

namespace host {

namespace {

constexpr int kTerminated = 511;
constexpr const char* kListLineStart = "!";

struct Job {
  std::string ini;
  std::string directory;
  IniFile config;
};

// The checks before a job that walks; false when the job must not run.
bool CheckJob(const Arguments& a, Job* job, Outcome* o) {
  job->ini = a.positional[0];
  job->directory = a.Positional(1, CurrentDirectory());
  std::vector<Problem> problems;
  std::optional<IniFile> config = CheckConfiguration(job->ini, Need::kRun, &problems);
  if (std::optional<Problem> folder = CheckListFolder(job->directory, true)) problems.push_back(*folder);
  if (config) job->config = std::move(*config);
  // Without a readable configuration --force cannot help.
  const bool force = a.Has("--force") && config.has_value();
  return !StopsTheJob(std::move(problems), force ? Force::kGiven : Force::kOffered, o);
}

// A counting or a writing that did not end well.
void Failed(const Reply& reply, const Job& job, Outcome* o) {
  o->reply = reply;
  if (reply.Code() == kTerminated || Progress::Interrupted()) {
    o->Fail({job.directory, "stopped; the previous list, index and ZIP are unchanged", true},
            kExitInterrupted);
    return;
  }
  Problem problem = Explain(reply, job.directory);
  if (reply.Code() == 506) {
    const std::optional<std::string> why = PathProblem(job.directory, Want::kWritableFolder);
    problem.why = why.value_or("cannot create the list's temporary file") + " (reply 506)";
  }
  o->Fail(problem);
}

// "not renamed: why", or "would not be renamed: why" for a dry run.
std::string RenameFailure(const std::string& from, const std::string& to, const std::string& why,
                          const std::string& verb = "not renamed") {
  const std::string folder = ParentOf(to);
  if (folder != ParentOf(from) && !PathExists(folder)) {
    return verb + ": the folder's name holds double blanks too; rename the folder first";
  }
  return verb + " to " + to.substr(folder.size() + 1) + ": " + why;
}

// What a rename would meet, for a dry run.
std::optional<std::string> ForeseenFailure(const std::string& from, const std::string& to) {
  const std::string folder = ParentOf(to);
  const std::string verb = "would not be renamed";
  if (folder != ParentOf(from) && !PathExists(folder)) return RenameFailure(from, to, "", verb);
  if (PathExists(to)) return RenameFailure(from, to, std::strerror(EEXIST), verb);
  return std::nullopt;
}

struct Renames {
  size_t done = 0;
  size_t failed = 0;
};

// Files with double blanks found by the counting in `folder`: renamed (or,
// in a dry run, shown) with --rename, else named in a note.
Renames HandleDoubleBlanks(const std::string& folder, bool rename, bool dry_run, Outcome* o) {
  Renames result;
  std::vector<std::string> renamed;
  for (const std::string& path : CountedDoubleBlankFiles(folder)) {
    const std::string target = SqueezeBlanks(path);
    if (!rename) {
      const bool in_name = HasDoubleBlank(path.substr(path.rfind('/') + 1));
      o->notes.push_back({path, in_name ? "the name holds double blanks; --rename renames the file"
                                        : "the folder's name holds double blanks; the list shows it squeezed"});
      continue;
    }
    if (dry_run) {
      if (std::optional<std::string> why = ForeseenFailure(path, target)) {
        o->notes.push_back({path, *why});
      } else {
        o->info.push_back({"would rename: ", path + " -> " + target, true});
      }
      continue;
    }
    if (std::optional<std::string> why = RenameNoReplace(path, target)) {
      o->problems.push_back({path, RenameFailure(path, target, *why)});
      ++result.failed;
      continue;
    }
    o->info.push_back({"renamed: ", path + " -> " + target, true});
    JsonObject item;
    renamed.push_back(item.Path("from", path).Path("to", target).str());
    ++result.done;
  }
  o->fields.Raw("renamed", JsonArray(renamed));
  return result;
}

// The lists' files that the run made in `folder`.
void ListWritten(const Job& job, const std::string& folder, int files, bool dry_run, Outcome* o) {
  const std::optional<std::string> name = NewestListName(folder, Nick(job.config), kListSuffix);
  if (!name) return;
  const std::string verb = dry_run ? "would write: " : "";
  const std::string list = InFolder(job.directory, *name + kListSuffix);
  o->info.push_back({dry_run ? verb : "list: ", list + " (" + std::to_string(files) + " files)", true});
  o->fields.Path("list", list).Number("files", files);
  if (!dry_run) o->files.push_back(list);
  for (const char* suffix : {kIndexSuffix, kZipSuffix}) {
    const std::string made = InFolder(folder, *name + suffix);
    if (!PathExists(made)) continue;
    const std::string shown = InFolder(job.directory, *name + suffix);
    o->info.push_back({dry_run ? verb : suffix == kIndexSuffix ? "index: " : "zip: ", shown, true});
    if (!dry_run) o->files.push_back(shown);
  }
  if (!dry_run) return;
  // What the list would hold: its file lines.
  ForEachLine(InFolder(folder, *name + kListSuffix), [&](const std::string& line) {
    if (line.rfind(kListLineStart, 0) == 0) o->data.push_back({"", line, false});
    return true;
  });
}

// The library's settings for a run into `folder`.
bool Configure(Session& s, const Arguments& a, const Job& job, const std::string& folder, Outcome* o) {
  if (!s.Prepare(job.ini, folder, o)) return false;
  const bool compress = !a.Has("--no-compress") && !a.Has("--dry-run");
  // Renaming is the host's: before the run, each one reported.
  return s.Setting("ZOQ_SetCompress", compress ? "1" : "0", o) &&
         s.Setting("ZOQ_SetAutoRenameBadFiles", "0", o) &&
         (!a.Has("--example") || s.Setting("ZOQ_SetEGSong", a.Value("--example"), o));
}

void Generate(Session& s, const Arguments& a, const Job& job, const std::string& folder, Outcome* o) {
  const bool dry_run = a.Has("--dry-run");
  if (!Configure(s, a, job, folder, o)) return;
  Reply counted = s.Count();
  if (!counted.Ok() || Progress::Interrupted()) return Failed(counted, job, o);
  int files = s.Status("Files");
  if (files == 0 && !a.Has("--force") && !dry_run) {
    o->Fail({job.ini, "no file in the [drive] folders matches [Extension]; the previous list "
                      "is kept (--force writes an empty list)"});
    return;
  }
  const Renames renames = HandleDoubleBlanks(folder, a.Has("--rename"), dry_run, o);
  if (renames.done > 0) {  // the counting's names are stale now
    counted = s.Count();
    if (!counted.Ok() || Progress::Interrupted()) return Failed(counted, job, o);
    files = s.Status("Files");
  }
  const Reply written = s.Write();
  o->reply = written;
  if (!written.Ok() || Progress::Interrupted()) return Failed(written, job, o);
  ListWritten(job, folder, files, dry_run, o);
  if (renames.failed > 0) o->status = kExitFailure;
}

}  // namespace

int RunGenerate(Session& s, const Arguments& a) {
  Outcome o{"generate"};
  o.fields.Bool("dry_run", a.Has("--dry-run"));
  Job job;
  if (!CheckJob(a, &job, &o)) return s.Emit(o);
  if (a.Has("--dry-run")) {
    // The run goes into a scratch folder; the list folder is only read.
    ScratchFolder scratch;
    if (!scratch.ok()) return s.Emit(o.Fail({"", scratch.error(), false}));
    Generate(s, a, job, scratch.path(), &o);
    return s.Emit(o);
  }
  std::string why;
  std::unique_ptr<FolderLock> lock = FolderLock::Take(job.directory, &why);
  if (!lock) return s.Emit(o.Fail({job.directory, why}));
  Generate(s, a, job, job.directory, &o);
  return s.Emit(o);
}

int RunCount(Session& s, const Arguments& a) {
  Outcome o{"count"};
  Job job;
  if (!CheckJob(a, &job, &o)) return s.Emit(o);
  std::string why;
  std::unique_ptr<FolderLock> lock = FolderLock::Take(job.directory, &why);
  if (!lock) return s.Emit(o.Fail({job.directory, why}));
  if (!s.Prepare(job.ini, job.directory, &o)) return s.Emit(o);
  const Reply counted = s.Count();
  o.reply = counted;
  if (!counted.Ok() || Progress::Interrupted()) {
    Failed(counted, job, &o);
    return s.Emit(o);
  }
  const int files = s.Status("Files");
  o.data.push_back({"", std::to_string(files), false});
  o.fields.Number("files", files);
  return s.Emit(o);
}

}  // namespace host
