#include "session.h"

#include <cstdio>
#include <cstdlib>
#include <tuple>

#include "check.h"

namespace host {

namespace {

std::string CodeNote(const Reply& reply) { return " (reply " + std::to_string(reply.Code()) + ")"; }

// What a code means for the user when the path says nothing more.
std::string Meaning(const Reply& reply) {
  switch (reply.Code()) {
    case 500: return "internal error in the library: " + ReplyText(reply);
    case 503: return "no argument";
    case 504: return "unknown argument";
    case 505: return "no configuration file has been read";
    case 506: return "not found, or cannot be opened or created";
    case 507: return "wrong format";
    case 508: return "no folder to list in [drive]";
    case 509: return "no file type in [Extension]";
    case 510: return "another operation of the library is running";
    case 511: return "stopped";
    case 512: return "the new list could not be put in place (the old list was already removed)";
    case 513: return "no entry with that number";
    case 514: return "the list was written, but compressing it failed";
    case 515: return "no download was recorded since the last chart update";
    case 516: return "nothing found";
    case 517: return "no program is registered for that file type";
    default: return ReplyText(reply);
  }
}

}  // namespace

Problem Explain(const Reply& reply, const std::string& what) {
  std::string why = Meaning(reply);
  if (reply.Code() == 506 && !what.empty()) {
    // The library says only "not found": the system knows why. A folder
    // that is fine to read may still refuse a new file.
    const bool folder = !PathProblem(what, Want::kReadableFolder);
    if (std::optional<std::string> reason =
            PathProblem(what, folder ? Want::kWritableFolder : Want::kReadableFile)) {
      why = *reason;
    }
  }
  return {what, why + CodeNote(reply)};
}

Session::Session(Library& library, const Options& options)
    : library_(library), options_(options), progress_(library, options.progress) {}

Reply Session::Call(const std::string& command, const std::string& argument, Progress::Phase phase) {
  const Display shown = display();
  if (options_.verbose) {
    std::fprintf(stderr, "quorbel: > %s %s\n", command.c_str(), shown.Text(argument).c_str());
  }
  progress_.SetPhase(phase);
  Reply reply = library_.Call(command, argument);
  progress_.SetPhase(Progress::Phase::kIdle);
  if (options_.verbose) {
    std::fprintf(stderr, "quorbel: < %s\n", shown.Text(reply.data).c_str());
    if (!reply.second.empty()) std::fprintf(stderr, "quorbel: < %s\n", shown.Text(reply.second).c_str());
  }
  return reply;
}

bool Session::Setting(const std::string& command, const std::string& argument, Outcome* outcome) {
  Reply reply = Call(command, argument);
  if (reply.Ok()) return true;
  outcome->reply = reply;
  outcome->Fail(Explain(reply, argument));
  return false;
}

bool Session::Prepare(const std::string& ini, const std::string& directory, Outcome* outcome) {
  for (const auto& [command, path, want] :
       {std::tuple{"ZOQ_SetDirectory", directory, Want::kReadableFolder},
        std::tuple{"ZOQ_SetIniFile", ini, Want::kReadableFile}}) {
    Reply reply = Call(command, path);
    if (reply.Ok()) continue;
    outcome->reply = reply;
    Problem problem = Explain(reply, path);
    if (reply.Code() == 506) {
      if (std::optional<std::string> why = PathProblem(path, want)) problem.why = *why + CodeNote(reply);
    } else if (reply.Code() == 507) {
      problem.why = "the library reads only files whose name ends in .ini" + CodeNote(reply);
    }
    outcome->Fail(problem);
    return false;
  }
  return true;
}

int Session::Status(const std::string& which) {
  return Call("ZOQ_Status", which).Number();
}

int Session::Emit(Outcome& outcome) {
  if (Progress::Interrupted()) outcome.status = kExitInterrupted;
  return host::Emit(outcome, options_.output);
}

}  // namespace host
