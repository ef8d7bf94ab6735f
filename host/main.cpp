// quorbel: the command-line host of libquorbel.so.
//
// It loads the library the way the IRC client loads the DLL (run-time
// loading, LoadDll, the exported commands by name, UnloadDll) and offers the
// everyday jobs as subcommands, a raw mode for any export and a script mode
// that reads one command per line. Exit status 0 means a 2xx reply.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "library.h"
#include "output.h"
#include "progress.h"

namespace host {
namespace {

constexpr int kExitOk = 0;
constexpr int kExitReply = 1;  // the library answered with a code other than 2xx
constexpr int kExitUsage = 2;  // bad command line, or the library could not be loaded

constexpr const char* kLibraryName = "libquorbel.so";
constexpr const char* kLibraryVariable = "QUORBEL_LIBRARY";

// --- the command line ------------------------------------------------------------

struct Arguments {
  std::vector<std::string> positional;
  std::map<std::string, std::string> options;  // "--name" -> value ("" for a flag)
  bool Has(const std::string& option) const { return options.count(option) != 0; }
};

struct OptionSpec {
  const char* name;
  bool takes_value;
};

// Splits the subcommand's arguments; nullopt (with a message) on an unknown
// option or a missing value. "--" ends the options.
std::optional<Arguments> Parse(const std::vector<std::string>& args,
                               const std::vector<OptionSpec>& known, std::string* error) {
  Arguments parsed;
  bool options_done = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (options_done || arg.size() < 2 || arg.rfind("--", 0) != 0) {
      parsed.positional.push_back(arg);
      continue;
    }
    if (arg == "--") {
      options_done = true;
      continue;
    }
    const OptionSpec* option = nullptr;
    for (const OptionSpec& s : known) {
      if (arg == s.name) option = &s;
    }
    if (option == nullptr) {
      *error = "unknown option " + arg;
      return std::nullopt;
    }
    std::string value;
    if (option->takes_value) {
      if (++i == args.size()) {
        *error = arg + " needs a value";
        return std::nullopt;
      }
      value = args[i];
    }
    parsed.options[arg] = value;
  }
  return parsed;
}

// --- a session with the loaded library ---------------------------------------------

class Session {
 public:
  Session(Library& library, bool draw_progress, Encoding encoding)
      : library_(library), progress_(library, draw_progress), encoding_(encoding) {}

  Library& library() { return library_; }
  Encoding encoding() const { return encoding_; }

  Reply Call(const std::string& command, const std::string& argument = "",
             Progress::Phase phase = Progress::Phase::kIdle) {
    progress_.SetPhase(phase);
    Reply reply = library_.Call(command, argument);
    progress_.SetPhase(Progress::Phase::kIdle);
    return reply;
  }

  // Calls a command whose reply is the subcommand's outcome: prints it and
  // gives the exit status.
  int Finish(const std::string& command, const std::string& argument = "",
             Progress::Phase phase = Progress::Phase::kIdle) {
    return Report(Call(command, argument, phase));
  }

  int Report(const Reply& reply) {
    PrintReply(reply, encoding_);
    return reply.Ok() ? kExitOk : kExitReply;
  }

  // Settings that must succeed before the job: prints a refusal and says so.
  bool Setting(const std::string& command, const std::string& argument) {
    Reply reply = Call(command, argument);
    if (reply.Ok()) return true;
    PrintReply(reply, encoding_);
    return false;
  }

  // The working directory and the configuration file, in this order.
  bool Prepare(const std::string& ini, const std::string& directory) {
    return Setting("ZOQ_SetDirectory", directory) && Setting("ZOQ_SetIniFile", ini);
  }

  // Counts first, so that the terminal shows the counting and then the
  // writing; the run uses that count. A stop while counting ends here.
  std::optional<Reply> Generate() {
    Reply counted = Call("ZOQ_CountFiles", "", Progress::Phase::kCounting);
    if (counted.Code() == 511 || Progress::Interrupted()) return counted;
    return Call("ZOQ_StartGenerate", "", Progress::Phase::kProcessing);
  }

 private:
  Library& library_;
  Progress progress_;
  Encoding encoding_;
};

// --- subcommands -------------------------------------------------------------------

struct Subcommand {
  const char* name;
  const char* usage;
  const char* help;
  std::vector<OptionSpec> options;
  size_t min_positional;
  size_t max_positional;
  int (*run)(Session& session, const Arguments& args);
};

std::string Positional(const Arguments& args, size_t index, const std::string& fallback) {
  return index < args.positional.size() ? args.positional[index] : fallback;
}

std::string CurrentDirectory() {
  std::vector<char> buffer(4096);
  return getcwd(buffer.data(), buffer.size()) != nullptr ? buffer.data() : ".";
}

void PrintBadNames(Session& session) {
  const Reply count = session.Call("ZOQ_BadListCount");
  const int highest = std::atoi(count.data.substr(count.data.rfind(' ') + 1).c_str());
  for (int i = 0; i <= highest; ++i) {
    const Reply entry = session.Call("ZOQ_BadListGet", std::to_string(i));
    const std::string prefix = "201 OK-DATA __ZOQ_BadListGet__ ";
    if (!entry.Ok() || entry.data.rfind(prefix, 0) != 0) break;
    std::cout << "bad name: " << ForDisplay(entry.data.substr(prefix.size()), session.encoding())
              << "\n";
  }
}

int RunGenerate(Session& s, const Arguments& a) {
  if (!s.Prepare(a.positional[0], Positional(a, 1, CurrentDirectory()))) return kExitReply;
  if (a.Has("--no-compress") && !s.Setting("ZOQ_SetCompress", "0")) return kExitReply;
  if (a.Has("--no-rename") && !s.Setting("ZOQ_SetAutoRenameBadFiles", "0")) return kExitReply;
  if (a.Has("--example") && !s.Setting("ZOQ_SetEGSong", a.options.at("--example"))) {
    return kExitReply;
  }
  const int status = s.Report(*s.Generate());
  PrintBadNames(s);
  return status;
}

int RunCount(Session& s, const Arguments& a) {
  if (!s.Prepare(a.positional[0], Positional(a, 1, CurrentDirectory()))) return kExitReply;
  const int status = s.Finish("ZOQ_CountFiles", "", Progress::Phase::kCounting);
  PrintReply(s.Call("ZOQ_Status", "Files"), s.encoding());
  return status;
}

// The library answers finds and searches from the list of its last run, so
// the list is made first unless the configuration names an existing one.
int RunLookup(Session& s, const Arguments& a, const char* command) {
  if (!s.Prepare(a.positional[0], a.positional[1])) return kExitReply;
  if (!a.Has("--no-generate")) {
    if (!s.Setting("ZOQ_SetCompress", "0")) return kExitReply;
    const Reply made = *s.Generate();
    if (!made.Ok()) return s.Report(made);
  }
  return s.Finish(command, a.positional[2]);
}

int RunFind(Session& s, const Arguments& a) { return RunLookup(s, a, "ZOQ_At_Find"); }
int RunSearch(Session& s, const Arguments& a) { return RunLookup(s, a, "ZOQ_SearchFile"); }

int RunInfo(Session& s, const Arguments& a) { return s.Finish("ZOQ_GetMPEGInfo", a.positional[0]); }

int RunChart(Session& s, const Arguments& a) {
  if (!s.Prepare(a.positional[0], Positional(a, 1, CurrentDirectory()))) return kExitReply;
  return s.Finish("ZOQ_StartUpdateChart");
}

int RunDump(Session& s, const Arguments& a) {
  if (!s.Setting("ZOQ_SetDirectory", Positional(a, 0, CurrentDirectory()))) return kExitReply;
  if (a.positional.size() > 1 && !s.Setting("ZOQ_SetIniFile", a.positional[1])) return kExitReply;
  return s.Finish("ZOQ_Dump");
}

int RunVersion(Session& s, const Arguments&) { return s.Finish("ZOQ_GetDLLVersion"); }

Progress::Phase PhaseOf(const std::string& command) {
  if (command == "ZOQ_CountFiles") return Progress::Phase::kCounting;
  if (command == "ZOQ_StartGenerate") return Progress::Phase::kProcessing;
  return Progress::Phase::kIdle;
}

bool KnownCommand(Session& s, const std::string& command) {
  if (command.rfind("ZOQ_", 0) == 0 && s.library().Has(command)) return true;
  std::cerr << "quorbel: the library has no command " << command << "\n";
  return false;
}

int RunRaw(Session& s, const Arguments& a) {
  const std::string& command = a.positional[0];
  if (!KnownCommand(s, command)) return kExitUsage;
  return s.Finish(command, Positional(a, 1, ""), PhaseOf(command));
}

// One command per line: the export's name, one blank, and the argument as
// it stands (blanks included). Empty lines and lines starting with '#' are
// skipped.
int RunScript(Session& s, const Arguments&) {
  int status = kExitOk;
  std::string line;
  while (std::getline(std::cin, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    const size_t blank = line.find(' ');
    const std::string command = line.substr(0, blank);
    const std::string argument = blank == std::string::npos ? "" : line.substr(blank + 1);
    if (!KnownCommand(s, command)) {
      status = kExitUsage;
      continue;
    }
    if (s.Finish(command, argument, PhaseOf(command)) != kExitOk && status == kExitOk) {
      status = kExitReply;
    }
  }
  return status;
}

const std::vector<Subcommand>& Subcommands() {
  static const std::vector<Subcommand> list = {
      {"generate", "generate [--no-compress] [--no-rename] [--example NAME] INI [DIR]",
       "Makes the list of the music files that the configuration file INI names: the dated\n"
       "list file, its index and (unless --no-compress) its ZIP, all in DIR (default: the\n"
       "current directory). Shows the counting and the writing on a terminal; Ctrl-C stops\n"
       "the run and keeps the previous list. Names with double blanks are listed after the\n"
       "reply and renamed unless --no-rename. --example sets the example file name shown\n"
       "in the list header.",
       {{"--no-compress", false}, {"--no-rename", false}, {"--example", true}}, 1, 2, RunGenerate},
      {"count", "count INI [DIR]", "Counts the files the configuration file names and prints how many.",
       {}, 1, 2, RunCount},
      {"find", "find [--no-generate] INI DIR PATTERN",
       "Answers a find request: up to five list lines matching PATTERN ('*' matches any\n"
       "text). The library answers from the list of its own last run, so the list is made\n"
       "first (without ZIP); with --no-generate the list named by the configuration's\n"
       "\"name\" key is used.",
       {{"--no-generate", false}}, 3, 3, RunFind},
      {"search", "search [--no-generate] INI DIR NAME",
       "Looks a file name up in the index and prints its full path; the list is made\n"
       "first as for find.",
       {{"--no-generate", false}}, 3, 3, RunSearch},
      {"info", "info FILE", "Prints the MPEG audio data and the ID3v1 tag of one file.", {}, 1, 1,
       RunInfo},
      {"chart", "chart INI [DIR]",
       "Turns the hit data ZOQHitData.hdt in DIR into the download chart ZOQChart.hdt.", {}, 1, 2,
       RunChart},
      {"dump", "dump [DIR [INI]]", "Writes the library's diagnostic dump into DIR.", {}, 0, 2,
       RunDump},
      {"version", "version", "Prints the library's version.", {}, 0, 0, RunVersion},
      {"raw", "raw COMMAND [ARGUMENT]",
       "Calls any exported command (ZOQ_...) with ARGUMENT and prints its reply.", {}, 1, 2,
       RunRaw},
      {"script", "script",
       "Reads commands from standard input, one per line (\"ZOQ_SetDirectory /tmp/lists\"),\n"
       "and prints each reply. Exit status 0 when every reply was 2xx.",
       {}, 0, 0, RunScript},
  };
  return list;
}

const Subcommand* FindSubcommand(const std::string& name) {
  for (const Subcommand& sub : Subcommands()) {
    if (name == sub.name) return &sub;
  }
  return nullptr;
}

void PrintUsage(std::ostream& out) {
  out << "usage: quorbel [--library PATH] [--no-progress] [--bytes | --utf8] SUBCOMMAND ...\n\n"
         "Runs the commands of the quorbel library from a shell. Subcommands:\n";
  for (const Subcommand& sub : Subcommands()) out << "  " << sub.usage << "\n";
  out << "\n'quorbel SUBCOMMAND --help' describes one. Exit status: 0 for a 2xx reply, 1 for\n"
         "any other reply, 2 for a usage error.\n"
         "--library   the library to load (default: $" << kLibraryVariable
      << ", else " << kLibraryName << " beside this program)\n"
         "--no-progress  no progress line on standard error\n"
         "--bytes / --utf8  replies as the library's bytes, or converted to UTF-8\n"
         "                  (default: UTF-8 on a terminal, bytes otherwise)\n";
}

void PrintSubcommandHelp(const Subcommand& sub) {
  std::cout << "usage: quorbel " << sub.usage << "\n\n" << sub.help << "\n";
}

std::string DefaultLibrary() {
  if (const char* path = std::getenv(kLibraryVariable)) return path;
  std::vector<char> buffer(4096, '\0');
  const ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
  std::string exe = n > 0 ? std::string(buffer.data(), size_t(n)) : "";
  const size_t slash = exe.rfind('/');
  return slash == std::string::npos ? std::string("./") + kLibraryName
                                    : exe.substr(0, slash + 1) + kLibraryName;
}

struct Global {
  std::string library = DefaultLibrary();
  bool progress = isatty(STDERR_FILENO) != 0;
  Encoding encoding = isatty(STDOUT_FILENO) ? Encoding::kUtf8 : Encoding::kBytes;
};

int Main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  Global global;
  size_t at = 0;
  for (; at < args.size() && args[at].rfind("--", 0) == 0; ++at) {
    const std::string& arg = args[at];
    if (arg == "--help") {
      PrintUsage(std::cout);
      return kExitOk;
    } else if (arg == "--library" && at + 1 < args.size()) {
      global.library = args[++at];
    } else if (arg == "--no-progress") {
      global.progress = false;
    } else if (arg == "--bytes") {
      global.encoding = Encoding::kBytes;
    } else if (arg == "--utf8") {
      global.encoding = Encoding::kUtf8;
    } else {
      std::cerr << "quorbel: unknown option " << arg << "\n";
      return kExitUsage;
    }
  }
  if (at == args.size()) {
    PrintUsage(std::cerr);
    return kExitUsage;
  }
  if (args[at] == "help") {
    const Subcommand* sub = at + 1 < args.size() ? FindSubcommand(args[at + 1]) : nullptr;
    sub ? PrintSubcommandHelp(*sub) : PrintUsage(std::cout);
    return kExitOk;
  }
  const Subcommand* sub = FindSubcommand(args[at]);
  if (sub == nullptr) {
    std::cerr << "quorbel: unknown subcommand " << args[at] << "\n";
    PrintUsage(std::cerr);
    return kExitUsage;
  }
  const std::vector<std::string> rest(args.begin() + long(at) + 1, args.end());
  for (const std::string& arg : rest) {
    if (arg == "--help" || arg == "-h") {
      PrintSubcommandHelp(*sub);
      return kExitOk;
    }
  }
  std::string error;
  std::optional<Arguments> parsed = Parse(rest, sub->options, &error);
  if (parsed && (parsed->positional.size() < sub->min_positional ||
                 parsed->positional.size() > sub->max_positional)) {
    error = "wrong number of arguments";
    parsed.reset();
  }
  if (!parsed) {
    std::cerr << "quorbel " << sub->name << ": " << error << "\nusage: quorbel " << sub->usage
              << "\n";
    return kExitUsage;
  }
  std::unique_ptr<Library> library = Library::Open(global.library, &error);
  if (!library) {
    std::cerr << "quorbel: cannot load the library: " << error << "\n";
    return kExitUsage;
  }
  Session session(*library, global.progress, global.encoding);
  return sub->run(session, *parsed);
}

}  // namespace
}  // namespace host

int main(int argc, char** argv) { return host::Main(argc, argv); }
