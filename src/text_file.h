// Single-byte text files, read and written a line at a time. Lines are
// written with CR LF; reading accepts CR LF, LF or a lone CR.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "platform/env.h"

namespace quorbel {

class TextFile {
 public:
  TextFile() = default;
  ~TextFile() { Close(); }
  TextFile(const TextFile&) = delete;
  TextFile& operator=(const TextFile&) = delete;

  // Creates the file empty (replacing it) for writing; false on failure.
  bool Rewrite(Env& env, const std::string& path);
  // Opens an existing file for reading at its first line; false on failure.
  bool Reset(Env& env, const std::string& path);
  // As Rewrite and Reset, for files the operation cannot do without: a
  // failure raises EInOutError "Cannot create file" or "Cannot open file".
  void RewriteOrRaise(Env& env, const std::string& path);
  void ResetOrRaise(Env& env, const std::string& path);

  bool IsOpen() const { return file_ != nullptr; }
  const std::string& path() const { return path_; }

  // Appends text and a line end; raises EInOutError when the system refuses.
  void WriteLine(std::string_view text);
  void Write(std::string_view text);
  // Reads the next line without its end into `line`; false at the end of the
  // file (line then empty). Raises EInOutError on a read error.
  bool ReadLine(std::string* line);
  // Appends the rest of the file, as it is, to `text`. Raises EInOutError
  // on a read error.
  void ReadRest(std::string* text);

  // Flushes and closes; false when a pending write failed. Safe when closed.
  bool Close();
  // Closes a file whose every line counts: a pending write that failed
  // raises the write error, so that a file cut short by a full disk is
  // never taken for a whole one.
  void CloseOrRaise();
  // Closes a written file and puts it in place of `to` as durable_replace.h
  // does. A pending write that failed raises the write error; a file that
  // cannot be put in place gives false. Either way the file is removed.
  bool PublishOrRaise(Env& env, const std::string& to);
  // Closes a written file and removes it.
  void Discard(Env& env);

 private:
  void Flush();
  bool Fill();

  std::FILE* file_ = nullptr;
  std::string path_;
  bool writing_ = false;
  std::string buffer_;  // pending output, or input not yet consumed
  size_t read_pos_ = 0;
  bool eof_ = false;
};

}  // namespace quorbel
