// What one subcommand answers: the lines for a reader, the same facts as one
// JSON object for a script, the problems for standard error and the exit
// status.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "library.h"
#include "output.h"

namespace host {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;    // a failure reply, or a check that failed
constexpr int kExitUsage = 2;      // a bad command line
constexpr int kExitNoLibrary = 3;  // the library cannot be loaded
constexpr int kExitInterrupted = 130;  // 128 + SIGINT, as a shell reports it

// The members of one JSON object, in the order they were added; values are
// JSON text already.
class JsonObject {
 public:
  JsonObject& Raw(const std::string& key, std::string json);
  JsonObject& Text(const std::string& key, const std::string& library_text);
  JsonObject& Path(const std::string& key, const std::string& path);
  JsonObject& Number(const std::string& key, int64_t value);
  JsonObject& Bool(const std::string& key, bool value);
  bool empty() const { return members_.empty(); }
  std::string str() const;

 private:
  std::vector<std::pair<std::string, std::string>> members_;
};

std::string JsonArray(const std::vector<std::string>& items);  // items are JSON text

// "what: why", printed as "quorbel: what: why". `what` is a path or a name
// in the system's bytes; `why` is the host's own text.
struct Problem {
  std::string what;
  std::string why;
  bool what_is_path = true;
};

// One output line: its text is shown as the library's text or as a path.
struct Line {
  std::string label;  // "list: " and the like, ASCII; may be empty
  std::string text;
  bool is_path = false;
};

struct Outcome {
  explicit Outcome(std::string name) : command(std::move(name)) {}

  std::string command;         // the subcommand
  int status = kExitOk;
  Reply reply;                 // the library reply that decided, when one did
  std::vector<Line> data;      // the answer itself: printed even with -q
  std::vector<Line> info;      // what was done: not with -q
  std::vector<Problem> notes;  // on standard error, not with -q
  std::vector<Problem> problems;  // on standard error, always
  JsonObject fields;
  std::vector<std::string> files;  // files written

  // A failure: the problem, the status and, when given, the reply.
  Outcome& Fail(Problem problem, int with_status = kExitFailure);
};

struct OutputOptions {
  Encoding encoding = Encoding::kUtf8;
  bool json = false;
  bool quiet = false;
};

// Prints the outcome; returns its status.
int Emit(const Outcome& outcome, const OutputOptions& options);

// The reply's text without its code and tag: "OK", "Nothing found".
std::string ReplyText(const Reply& reply);

}  // namespace host
