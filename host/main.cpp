// quorbel: the command-line host of libquorbel.so.
//
// It loads the library the way the IRC client loads the DLL (run-time
// loading, LoadDll, the exported commands by name, UnloadDll) and offers the
// everyday jobs as subcommands that check before they write, explain
// failures with the path and the system's reason, and never change a file
// when they only look something up.
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "cli.h"
#include "commands.h"
#include "library.h"
#include "session.h"

namespace host {
namespace {

// The common options, found anywhere before "--" and taken out of `args`.
struct Common {
  bool help = false;
  bool version = false;
  Options options;
};

const OptionSpec* CommonOption(const std::string& name) {
  for (const OptionSpec& option : CommonOptions()) {
    if (name == option.name || (option.short_name != nullptr && name == option.short_name)) return &option;
  }
  return nullptr;
}

Common TakeCommon(std::vector<std::string>* args) {
  Common common;
  Options& o = common.options;
  o.progress = isatty(STDERR_FILENO) != 0;
  o.output.encoding = LocaleEncoding();
  std::vector<std::string> rest;
  for (size_t i = 0; i < args->size(); ++i) {
    const std::string& arg = (*args)[i];
    const size_t equals = arg.rfind("--", 0) == 0 ? arg.find('=') : std::string::npos;
    const OptionSpec* option = arg == "--" ? nullptr : CommonOption(arg.substr(0, equals));
    if (option == nullptr) {
      if (arg == "--") {  // the rest belongs to the subcommand as it stands
        rest.insert(rest.end(), args->begin() + long(i), args->end());
        break;
      }
      rest.push_back(arg);
      continue;
    }
    const std::string name = option->name;
    common.help |= name == "--help";
    common.version |= name == "--version";
    o.output.quiet |= name == "--quiet";
    o.verbose |= name == "--verbose";
    o.output.json |= name == "--json";
    if (name == "--no-progress") o.progress = false;
    if (name == "--bytes") o.output.encoding = Encoding::kBytes;
    if (name == "--utf8") o.output.encoding = Encoding::kUtf8;
    if (name == "--library") {
      if (equals != std::string::npos) {
        o.library = arg.substr(equals + 1);
      } else if (i + 1 < args->size()) {
        o.library = (*args)[++i];
      }
    }
  }
  *args = std::move(rest);
  return common;
}

int UsageError(const std::string& message, const std::string& hint) {
  std::fprintf(stderr, "quorbel: %s\n%s\n", message.c_str(), hint.c_str());
  return kExitUsage;
}

int Main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string error;
  Common common = TakeCommon(&args);
  const bool asks_help = common.help || (!args.empty() && args[0] == "help");
  if (asks_help && !args.empty() && args[0] == "help") args.erase(args.begin());
  const Subcommand* sub = args.empty() ? nullptr : FindSubcommand(args[0]);
  if (asks_help) {
    std::fputs(sub ? SubcommandHelp(*sub).c_str() : Usage().c_str(), stdout);
    return kExitOk;
  }
  if (common.version) sub = FindSubcommand("version"), args = {"version"};
  if (args.empty()) return UsageError("no subcommand given", "Try 'quorbel --help'.");
  if (sub == nullptr) {
    const Subcommand* near = Suggest(args[0]);
    return UsageError("unknown subcommand '" + args[0] + "'",
                      near ? "Did you mean 'quorbel " + std::string(near->name) + "'? See 'quorbel --help'."
                           : "See 'quorbel --help'.");
  }
  const std::vector<std::string> rest(args.begin() + 1, args.end());
  std::optional<Arguments> parsed = Parse(rest, sub->options, &error);
  if (parsed && (parsed->positional.size() < sub->min_positional ||
                 parsed->positional.size() > sub->max_positional)) {
    error = parsed->positional.size() < sub->min_positional ? "missing arguments" : "too many arguments";
    parsed.reset();
  }
  if (!parsed) {
    return UsageError(std::string(sub->name) + ": " + error,
                      std::string("usage: quorbel ") + sub->synopsis +
                          "\nSee 'quorbel " + sub->name + " --help'.");
  }
  Options& options = common.options;
  std::string path;
  std::unique_ptr<Library> library =
      Library::OpenFirst(options.library.empty() ? LibraryCandidates() : std::vector{options.library},
                         &path, &error);
  if (!library) {
    std::fprintf(stderr, "quorbel: cannot load the library: %s\n", error.c_str());
    return kExitNoLibrary;
  }
  options.library = path;
  Session session(*library, options);
  return sub->run(session, *parsed);
}

}  // namespace
}  // namespace host

int main(int argc, char** argv) { return host::Main(argc, argv); }
