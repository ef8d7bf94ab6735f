// The table of subcommands, with the help each one prints.
#include "commands.h"

#include <unistd.h>

#include "config_sections.h"
#include "shared_names.h"

namespace host {

std::string CurrentDirectory() {
  std::vector<char> buffer(4096);
  return getcwd(buffer.data(), buffer.size()) != nullptr ? buffer.data() : ".";
}

bool StopsTheJob(std::vector<Problem> problems, Force force, Outcome* outcome) {
  if (problems.empty()) return false;
  if (force == Force::kGiven) {
    for (Problem& p : problems) {
      p.why += " (going on: --force)";
      outcome->notes.push_back(std::move(p));
    }
    return false;
  }
  for (Problem& p : problems) outcome->Fail(std::move(p));
  if (force == Force::kOffered) {
    outcome->notes.push_back({"", "nothing was changed; fix the above, or use --force", false});
  }
  return true;
}

std::string Nick(const IniFile& ini) { return ini.Value(quorbel::config::kListMake, quorbel::names::kNickKey).value_or(""); }

const std::vector<Subcommand>& Subcommands() {
  static const OptionSpec kForce = {"--force", nullptr, nullptr,
                                    "run even when the checks before the run find problems"};
  static const std::vector<Subcommand> list = {
      {"generate", "generate [--rename] [--dry-run] [--no-compress] [--example NAME] [--force] INI [DIR]",
       "make the list of your music files",
       "Makes the list of the music files that the configuration file INI names: the dated\n"
       "list NICK[MM-DD-YY]-mm.txt, its index -mm.idx and (unless --no-compress) its ZIP,\n"
       "all in DIR (default: the current directory). The configuration and the folders it\n"
       "names are checked first; any problem stops the run before a file is touched.\n"
       "A run that finds no file at all keeps the previous list (--force writes an empty\n"
       "one). Ctrl-C stops the run and keeps the previous list. One run per DIR at a time.\n"
       "Names with double blanks are listed squeezed; --rename also renames the files\n"
       "on disk, before the list is made, and prints each rename.",
       {{"--rename", nullptr, nullptr, "rename files whose names hold double blanks"},
        {"--dry-run", "-n", nullptr, "show what would be renamed and listed; write nothing"},
        {"--no-compress", nullptr, nullptr, "make no ZIP of the list"},
        {"--example", nullptr, "NAME", "the example file name in the list's header"},
        kForce},
       1, 2, RunGenerate},
      {"count", "count [--force] INI [DIR]", "count the files the list would hold",
       "Counts the files the configuration file INI names and prints how many.\n"
       "The counting writes its work files into DIR (default: the current directory).",
       {kForce}, 1, 2, RunCount},
      {"find", "find INI DIR PATTERN", "answer a find request from the list",
       "Answers a find request from the newest list of the configured nick in DIR, as the\n"
       "library answers other users: up to five list entries matching PATTERN ('*' matches\n"
       "any text; matching ignores case), one per line, as the list writes them. Reads\n"
       "only: no list is made, no file is changed. A 'name' key in the configuration picks\n"
       "that list instead of the newest.",
       {}, 3, 3, RunFind},
      {"search", "search INI DIR NAME", "find a file's path in the index",
       "Looks the exact file name NAME up in the newest index of the configured nick in\n"
       "DIR and prints the file's full path. Reads only, as find.",
       {}, 3, 3, RunSearch},
      {"info", "info FILE", "show a file's MPEG data and ID3v1 tag",
       "Prints the MPEG audio data (bitrate, sample rate, mode, time) and the ID3v1 tag\n"
       "of one .mp3 or .mp2 file, one labelled field per line.",
       {}, 1, 1, RunInfo},
      {"chart", "chart INI [DIR]", "make the download chart",
       "Turns the hit data ZOQHitData.hdt in DIR (default: the current directory) into the\n"
       "download chart ZOQChart.hdt beside it.",
       {}, 1, 2, RunChart},
      {"dump", "dump [DIR [INI]]", "write the library's diagnostic dump",
       "Writes the library's state into the file 'core' in DIR (default: the current\n"
       "directory) and prints its path. With INI, the configuration is read first.",
       {}, 0, 2, RunDump},
      {"version", "version", "show the versions", "Prints the versions of quorbel and its library.",
       {}, 0, 0, RunVersion},
      {"raw", "raw COMMAND [ARGUMENT]", "call one library command",
       "Calls any command of the library (ZOQ_...) with ARGUMENT and prints its reply line\n"
       "as the library wrote it: a 2xx reply on standard output, any other on standard\n"
       "error. Each raw call starts a fresh library, so settings do not carry over: use\n"
       "'script' for a sequence.",
       {}, 1, 2, RunRaw},
      {"script", "script", "call library commands read from standard input",
       "Reads commands from standard input, one per line: the command's name, one blank,\n"
       "and its argument as it stands (\"ZOQ_SetDirectory /srv/lists\"). Empty lines and\n"
       "lines starting with '#' are skipped. Every reply line is printed on standard\n"
       "output, in order. Exit status 0 when every reply was 2xx.",
       {}, 0, 0, RunScript},
  };
  return list;
}

}  // namespace host
