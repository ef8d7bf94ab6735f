// chart, dump, version, and the two ways to call library commands directly.
#include <iostream>
#include <memory>

#include "check.h"
#include "commands.h"
#include "files.h"
#include "list_files.h"
#include "lock.h"

namespace host {

namespace {

constexpr const char* kHitData = quorbel::names::kHitDataFile;
constexpr const char* kChart = quorbel::names::kChartFile;
constexpr const char* kDumpFile = "core";
constexpr const char* kCommandPrefix = "ZOQ_";

Progress::Phase PhaseOf(const std::string& command) {
  if (command == "ZOQ_CountFiles") return Progress::Phase::kCounting;
  if (command == "ZOQ_StartGenerate") return Progress::Phase::kProcessing;
  return Progress::Phase::kIdle;
}

bool KnownCommand(Session& s, const std::string& command) {
  return command.rfind(kCommandPrefix, 0) == 0 && s.library().Has(command);
}

Outcome RawCall(Session& s, const std::string& command, const std::string& argument) {
  Outcome o{command};
  o.reply = s.Call(command, argument, PhaseOf(command));
  o.fields.Text("argument", argument);
  if (!o.reply.second.empty()) o.fields.Text("second", o.reply.second);
  if (o.reply.Ok()) {
    o.data.push_back({"", o.reply.data, false});
    if (!o.reply.second.empty()) o.data.push_back({"", o.reply.second, false});
  } else {
    o.Fail({command, o.reply.data, false});
  }
  return o;
}

}  // namespace

int RunChart(Session& s, const Arguments& a) {
  Outcome o{"chart"};
  const std::string ini = a.positional[0];
  const std::string directory = a.Positional(1, CurrentDirectory());
  std::vector<Problem> problems;
  CheckConfiguration(ini, Need::kChart, &problems);
  if (std::optional<Problem> folder = CheckListFolder(directory, true)) problems.push_back(*folder);
  if (StopsTheJob(std::move(problems), Force::kNotOffered, &o)) return s.Emit(o);
  // Without hit data the library removes the old chart before it answers.
  const std::string hits = InFolder(directory, kHitData);
  if (std::optional<std::string> why = PathProblem(hits, Want::kReadableFile)) {
    return s.Emit(o.Fail({hits, *why + "; the chart is left as it is"}));
  }
  std::string why;
  std::unique_ptr<FolderLock> lock = FolderLock::Take(directory, &why);
  if (!lock) return s.Emit(o.Fail({directory, why}));
  if (!s.Prepare(ini, directory, &o)) return s.Emit(o);
  o.reply = s.Call("ZOQ_StartUpdateChart");
  if (o.reply.Code() == 515) {
    return s.Emit(o.Fail({hits, "no download was recorded since the last chart update (reply 515)"}));
  }
  if (!o.reply.Ok()) return s.Emit(o.Fail(Explain(o.reply, directory)));
  const std::string chart = InFolder(directory, kChart);
  o.info.push_back({"chart: ", chart, true});
  o.files.push_back(chart);
  return s.Emit(o);
}

int RunDump(Session& s, const Arguments& a) {
  Outcome o{"dump"};
  const std::string directory = a.Positional(0, CurrentDirectory());
  if (std::optional<Problem> folder = CheckListFolder(directory, true)) return s.Emit(o.Fail(*folder));
  std::string why;
  std::unique_ptr<FolderLock> lock = FolderLock::Take(directory, &why);
  if (!lock) return s.Emit(o.Fail({directory, why}));
  const bool prepared = a.positional.size() > 1 ? s.Prepare(a.positional[1], directory, &o)
                                                : s.Setting("ZOQ_SetDirectory", directory, &o);
  if (!prepared) return s.Emit(o);
  o.reply = s.Call("ZOQ_Dump");
  if (!o.reply.Ok()) return s.Emit(o.Fail(Explain(o.reply, directory)));
  const std::string dump = InFolder(directory, kDumpFile);
  o.info.push_back({"dump: ", dump, true});
  o.files.push_back(dump);
  return s.Emit(o);
}

int RunVersion(Session& s, const Arguments&) {
  Outcome o{"version"};
  o.reply = s.Call("ZOQ_GetDLLVersion");
  // "201 OK-DATA 0.7.8 __ZOQ_GetDLLVersion__"
  const std::string& reply = o.reply.data;
  const size_t start = std::string("201 OK-DATA ").size();
  const size_t tag = reply.find(" __ZOQ_");
  const std::string version = tag > start && tag != std::string::npos ? reply.substr(start, tag - start) : reply;
  o.data.push_back({"quorbel ", QUORBEL_HOST_VERSION, false});
  o.data.push_back({"library ", version + " (" + s.options().library + ")", false});
  o.fields.Text("host", QUORBEL_HOST_VERSION).Text("library", version).Path("library_path", s.options().library);
  return s.Emit(o);
}

int RunRaw(Session& s, const Arguments& a) {
  const std::string& command = a.positional[0];
  if (!KnownCommand(s, command)) {
    Outcome o{"raw"};
    return s.Emit(o.Fail({command, "the library has no such command", false}, kExitUsage));
  }
  Outcome o = RawCall(s, command, a.Positional(1, ""));
  return s.Emit(o);
}

// Every reply on standard output, in order: the transcript is the answer.
int RunScript(Session& s, const Arguments&) {
  int status = kExitOk;
  std::string line;
  while (std::getline(std::cin, line) && !Progress::Interrupted()) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    const size_t blank = line.find(' ');
    const std::string command = line.substr(0, blank);
    const std::string argument = blank == std::string::npos ? "" : line.substr(blank + 1);
    Outcome o{command};
    if (!KnownCommand(s, command)) {
      o.Fail({command, "the library has no such command", false}, kExitUsage);
    } else {
      o = RawCall(s, command, argument);
      if (!o.reply.Ok()) {  // in a transcript the reply keeps its place
        o.problems.clear();
        o.data.push_back({"", o.reply.data, false});
        o.status = kExitFailure;
      }
    }
    const int result = s.Emit(o);
    if (result != kExitOk && (status == kExitOk || result == kExitUsage)) status = result;
  }
  return Progress::Interrupted() ? kExitInterrupted : status;
}

}  // namespace host
