// The command line: options and positional arguments of one subcommand, and
// the table of subcommands with their help.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace host {

class Session;

// Levenshtein distance: how many single-byte edits turn `a` into `b`; what
// tells a typo from an unknown name.
size_t EditDistance(const std::string& a, const std::string& b);

struct OptionSpec {
  const char* name;        // "--rename"
  const char* short_name;  // "-q", or nullptr
  const char* value;       // the value's name in the help ("NAME"), nullptr for a flag
  const char* help;
};

struct Arguments {
  std::vector<std::string> positional;
  std::map<std::string, std::string> options;  // by long name; "" for a flag
  bool Has(const std::string& name) const { return options.count(name) != 0; }
  std::string Value(const std::string& name) const;
  std::string Positional(size_t index, const std::string& fallback) const;
};

// Splits arguments by `known`; "--" ends the options, "--name=value" is
// accepted. nullopt with `error` set on an unknown option or a missing value.
std::optional<Arguments> Parse(const std::vector<std::string>& args,
                               const std::vector<OptionSpec>& known, std::string* error);

struct Subcommand {
  const char* name;
  const char* synopsis;  // after "quorbel "
  const char* summary;   // one line
  const char* help;      // what it does, in full
  std::vector<OptionSpec> options;
  size_t min_positional;
  size_t max_positional;
  int (*run)(Session& session, const Arguments& args);
};

const std::vector<Subcommand>& Subcommands();
const Subcommand* FindSubcommand(const std::string& name);
// The known subcommand closest to a mistyped one, or nullptr.
const Subcommand* Suggest(const std::string& name);

// Options every subcommand takes, before or after its name.
const std::vector<OptionSpec>& CommonOptions();

std::string Usage();  // the whole help
std::string SubcommandHelp(const Subcommand& sub);

}  // namespace host
