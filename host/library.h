// The plug-in library as a host sees it: opened at run time, started with
// LoadDll, its commands called by export name, stopped with UnloadDll.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "quorbel.h"

namespace host {

// What a command leaves in the host's two text buffers.
struct Reply {
  std::string data;    // the reply line
  std::string second;  // the parameter buffer, when the command wrote it
  // The three-digit code at the start of the reply, 0 when there is none.
  int Code() const;
  bool Ok() const { return Code() / 100 == 2; }
  // The number a data reply ends with ("201 OK-DATA __ZOQ_Status__ 12"),
  // 0 for a failure reply or one without a number.
  int Number() const;
};

// Where the library is looked for, in order: $QUORBEL_LIBRARY alone when it
// is set; else beside the program's real file (symlinks resolved), then in
// the installed layout, PREFIX/lib/quorbel/ for a program in PREFIX/bin/.
std::vector<std::string> LibraryCandidates();

class Library {
 public:
  // Opens the library and calls LoadDll; null with `error` set on failure.
  static std::unique_ptr<Library> Open(const std::string& path, std::string* error);
  // The first candidate that exists, or the first one (for its error).
  static std::unique_ptr<Library> OpenFirst(const std::vector<std::string>& candidates,
                                            std::string* path, std::string* error);
  ~Library();  // UnloadDll, then closes the library
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;

  // True when the library exports a command of that name.
  bool Has(const std::string& command) const;
  // Calls a command with `argument` in the data buffer.
  Reply Call(const std::string& command, const std::string& argument = "");
  // Installs the function the library calls wherever it pumps messages.
  void SetMessagePump(void (*pump)(void* context), void* context);

 private:
  explicit Library(void* handle) : handle_(handle) {}
  void* Symbol(const std::string& name) const;

  void* handle_;
  LOADINFO load_info_{};
};

}  // namespace host
