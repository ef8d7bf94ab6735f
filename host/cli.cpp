#include "cli.h"

#include <algorithm>

namespace host {

size_t EditDistance(const std::string& a, const std::string& b) {
  std::vector<size_t> row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      const size_t up = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = up;
    }
  }
  return row[b.size()];
}

namespace {

constexpr size_t kSuggestDistance = 2;
constexpr int kHelpColumn = 24;

const OptionSpec* FindOption(const std::vector<OptionSpec>& known, const std::string& arg) {
  for (const OptionSpec& option : known) {
    if (arg == option.name || (option.short_name != nullptr && arg == option.short_name)) return &option;
  }
  return nullptr;
}

std::string OptionLines(const std::vector<OptionSpec>& options) {
  std::string out;
  for (const OptionSpec& o : options) {
    std::string left = "  ";
    left += o.short_name != nullptr ? std::string(o.short_name) + ", " : "";
    left += o.name;
    if (o.value != nullptr) left += std::string(" ") + o.value;
    left.resize(std::max<size_t>(left.size() + 2, kHelpColumn), ' ');
    out += left + o.help + "\n";
  }
  return out;
}

}  // namespace

std::string Arguments::Value(const std::string& name) const {
  auto found = options.find(name);
  return found == options.end() ? std::string() : found->second;
}

std::string Arguments::Positional(size_t index, const std::string& fallback) const {
  return index < positional.size() ? positional[index] : fallback;
}

std::optional<Arguments> Parse(const std::vector<std::string>& args,
                               const std::vector<OptionSpec>& known, std::string* error) {
  Arguments parsed;
  bool options_done = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (options_done || arg.size() < 2 || arg[0] != '-') {
      parsed.positional.push_back(arg);
      continue;
    }
    if (arg == "--") {
      options_done = true;
      continue;
    }
    const size_t equals = arg.rfind("--", 0) == 0 ? arg.find('=') : std::string::npos;
    const std::string name = arg.substr(0, equals);
    const OptionSpec* option = FindOption(known, name);
    if (option == nullptr) {
      *error = "unknown option " + name;
      return std::nullopt;
    }
    std::string value;
    if (option->value != nullptr) {
      if (equals != std::string::npos) {
        value = arg.substr(equals + 1);
      } else if (++i < args.size()) {
        value = args[i];
      } else {
        *error = name + " needs a value";
        return std::nullopt;
      }
    } else if (equals != std::string::npos) {
      *error = name + " takes no value";
      return std::nullopt;
    }
    parsed.options[option->name] = value;
  }
  return parsed;
}

const Subcommand* FindSubcommand(const std::string& name) {
  for (const Subcommand& sub : Subcommands()) {
    if (name == sub.name) return &sub;
  }
  return nullptr;
}

const Subcommand* Suggest(const std::string& name) {
  const Subcommand* best = nullptr;
  size_t best_distance = kSuggestDistance + 1;
  for (const Subcommand& sub : Subcommands()) {
    const size_t distance = EditDistance(name, sub.name);
    if (distance < best_distance) best = &sub, best_distance = distance;
  }
  return best;
}

const std::vector<OptionSpec>& CommonOptions() {
  static const std::vector<OptionSpec> options = {
      {"--help", "-h", nullptr, "show this help and exit"},
      {"--version", nullptr, nullptr, "show the versions of quorbel and its library and exit"},
      {"--quiet", "-q", nullptr, "print only answers and errors"},
      {"--verbose", "-v", nullptr, "show every library call and its reply on standard error"},
      {"--json", nullptr, nullptr, "print one JSON object per answer on standard output"},
      {"--no-progress", nullptr, nullptr, "no progress line on standard error"},
      {"--bytes", nullptr, nullptr, "print the library's bytes unchanged"},
      {"--utf8", nullptr, nullptr, "print UTF-8 whatever the locale"},
      {"--library", nullptr, "PATH", "the library to load"},
  };
  return options;
}

std::string Usage() {
  std::string out =
      "usage: quorbel [OPTIONS] SUBCOMMAND [ARGUMENTS]\n\n"
      "Makes and serves the list of your music files with the quorbel library.\n\n"
      "Subcommands:\n";
  for (const Subcommand& sub : Subcommands()) {
    std::string left = std::string("  ") + sub.name;
    left.resize(std::max<size_t>(left.size() + 2, 12), ' ');
    out += left + sub.summary + "\n";
  }
  out += "\nOptions (before or after the subcommand):\n" + OptionLines(CommonOptions());
  out +=
      "\n'quorbel SUBCOMMAND --help' describes one subcommand; 'man quorbel' all of them.\n"
      "Exit status: 0 success, 1 failure, 2 usage error, 3 library cannot be loaded,\n"
      "130 stopped with Ctrl-C.\n"
      "The library is $QUORBEL_LIBRARY, else libquorbel.so beside the program, else\n"
      "PREFIX/lib/quorbel/libquorbel.so for a program in PREFIX/bin.\n";
  return out;
}

std::string SubcommandHelp(const Subcommand& sub) {
  std::string out = std::string("usage: quorbel ") + sub.synopsis + "\n\n" + sub.help + "\n";
  if (!sub.options.empty()) out += "\nOptions:\n" + OptionLines(sub.options);
  out += "\nCommon options: -h, --version, -q, -v, --json, --no-progress, --bytes, --utf8,\n"
         "--library PATH (see 'quorbel --help').\n";
  return out;
}

}  // namespace host
