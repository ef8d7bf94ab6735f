#include "text_file.h"

#include <cstring>

#include "command_failure.h"
#include "durable_replace.h"
#include "engine_text.h"

namespace quorbel {

namespace {

constexpr size_t kChunk = 64 * 1024;

// Help contexts of the failures, as the file system reports them.
constexpr int32_t kReadFailed = 100;
constexpr int32_t kWriteFailed = 101;
constexpr int32_t kNotOpenForInput = 104;
constexpr int32_t kNotOpenForOutput = 105;

EInOutError WriteError(const std::string& path) {
  return EInOutError("Disk full or write error on " + path, kWriteFailed);
}

}  // namespace

bool TextFile::Rewrite(Env& env, const std::string& path) {
  Close();
  file_ = env.OpenFile(path, "wb");
  if (file_ == nullptr) return false;
  path_ = path;
  writing_ = true;
  buffer_.clear();  // grows as lines come: most files written are short
  return true;
}

bool TextFile::Reset(Env& env, const std::string& path) {
  Close();
  file_ = env.OpenFile(path, "rb");
  if (file_ == nullptr) return false;
  path_ = path;
  writing_ = false;
  buffer_.clear();
  read_pos_ = 0;
  eof_ = false;
  return true;
}

void TextFile::RewriteOrRaise(Env& env, const std::string& path) {
  if (!Rewrite(env, path)) throw EInOutError("Cannot create file \"" + path + "\"");
}

void TextFile::ResetOrRaise(Env& env, const std::string& path) {
  if (!Reset(env, path)) throw EInOutError("Cannot open file \"" + path + "\"");
}

void TextFile::Write(std::string_view text) {
  if (file_ == nullptr || !writing_) {
    throw EInOutError("File not open for output", kNotOpenForOutput);
  }
  buffer_.append(text);
  if (buffer_.size() >= kChunk) Flush();
}

void TextFile::WriteLine(std::string_view text) {
  Write(text);
  Write(kCrLf);
}

void TextFile::Flush() {
  if (buffer_.empty()) return;
  size_t written = std::fwrite(buffer_.data(), 1, buffer_.size(), file_);
  bool ok = written == buffer_.size();
  buffer_.clear();
  if (!ok) throw WriteError(path_);
}

bool TextFile::Fill() {
  if (eof_) return false;
  buffer_.erase(0, read_pos_);
  read_pos_ = 0;
  // Read beside the buffer and append what came: growing the buffer first
  // would zero a whole chunk for a file of a few lines.
  char chunk[kChunk];
  const size_t n = std::fread(chunk, 1, kChunk, file_);
  buffer_.append(chunk, n);
  if (n < kChunk) {
    if (std::ferror(file_)) throw EInOutError("Read error on " + path_, kReadFailed);
    eof_ = true;
  }
  return n > 0;
}

bool TextFile::ReadLine(std::string* line) {
  line->clear();
  if (file_ == nullptr || writing_) throw EInOutError("File not open for input", kNotOpenForInput);
  for (;;) {
    const char* start = buffer_.data() + read_pos_;
    size_t avail = buffer_.size() - read_pos_;
    const char* end = static_cast<const char*>(std::memchr(start, '\n', avail));
    const char* cr = static_cast<const char*>(std::memchr(start, '\r', end ? end - start : avail));
    if (cr != nullptr) end = cr;
    if (end != nullptr && (*end == '\n' || size_t(end - start) + 1 < avail || eof_)) {
      line->assign(start, end);
      read_pos_ += size_t(end - start) + 1;
      if (*end == '\r' && read_pos_ < buffer_.size() && buffer_[read_pos_] == '\n') ++read_pos_;
      return true;
    }
    // A CR at the very end of the buffer may be followed by LF: read on first.
    if (!Fill()) {
      if (buffer_.size() == read_pos_) return false;
      line->assign(buffer_.data() + read_pos_, buffer_.size() - read_pos_);
      if (!line->empty() && line->back() == '\r') line->pop_back();
      read_pos_ = buffer_.size();
      return true;
    }
  }
}

void TextFile::ReadRest(std::string* text) {
  if (file_ == nullptr || writing_) throw EInOutError("File not open for input", kNotOpenForInput);
  while (Fill()) {
  }
  if (text->empty() && read_pos_ == 0) {
    text->swap(buffer_);  // the usual case: the whole file, no copy
  } else {
    text->append(buffer_, read_pos_);
  }
  buffer_.clear();
  read_pos_ = 0;
}

bool TextFile::Close() {
  if (file_ == nullptr) return true;
  bool ok = true;
  if (writing_) {
    try {
      Flush();
    } catch (const EInOutError&) {
      ok = false;
    }
  }
  if (std::fclose(file_) != 0) ok = false;
  file_ = nullptr;
  buffer_.clear();
  buffer_.shrink_to_fit();
  read_pos_ = 0;
  return ok;
}

void TextFile::CloseOrRaise() {
  if (!Close()) throw WriteError(path_);
}

bool TextFile::PublishOrRaise(Env& env, const std::string& to) {
  if (!Close()) {
    env.RemoveFile(path_);
    throw WriteError(path_);
  }
  if (ReplaceDurably(env, path_, to)) return true;
  env.RemoveFile(path_);
  return false;
}

void TextFile::Discard(Env& env) {
  Close();
  env.RemoveFile(path_);
}

}  // namespace quorbel
