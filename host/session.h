// One run of the host with the loaded library: the calls (shown with -v),
// the progress line, the common first steps of the subcommands and the
// explanations of failure replies.
#pragma once

#include <optional>
#include <string>

#include "library.h"
#include "progress.h"
#include "report.h"

namespace host {

struct Options {
  std::string library;  // empty: the usual places
  bool progress = false;
  bool verbose = false;
  OutputOptions output;
};

class Session {
 public:
  Session(Library& library, const Options& options);

  Library& library() { return library_; }
  const Options& options() const { return options_; }
  Display display() const { return Display(options_.output.encoding); }

  Reply Call(const std::string& command, const std::string& argument = "",
             Progress::Phase phase = Progress::Phase::kIdle);

  // The list folder, then the configuration file; false with the problem
  // in `outcome` when the library refuses either.
  bool Prepare(const std::string& ini, const std::string& directory, Outcome* outcome);
  // A setting that cannot fail with a right argument; false as above.
  bool Setting(const std::string& command, const std::string& argument, Outcome* outcome);

  // The counting, then the writing of the list, each with its progress line.
  Reply Count() { return Call("ZOQ_CountFiles", "", Progress::Phase::kCounting); }
  Reply Write() { return Call("ZOQ_StartGenerate", "", Progress::Phase::kProcessing); }
  // The number a "201 OK-DATA __ZOQ_Status__ N" reply carries.
  int Status(const std::string& which);

  // Prints the outcome; after Ctrl-C the status is 130.
  int Emit(Outcome& outcome);

 private:
  Library& library_;
  Options options_;
  Progress progress_;
};

// A failure reply as "what: why (reply NNN)": `what` is the path the command
// was about; the reason is the system's when the path explains it.
Problem Explain(const Reply& reply, const std::string& what);

}  // namespace host
