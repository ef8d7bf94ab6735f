// A list or index file held in memory between requests: its bytes (the
// list's lower-cased) split into lines exactly as TextFile::ReadLine splits
// them, and for an index a table from file names to their first line.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "serve_lookup_text.h"

namespace quorbel {

struct LineSpan {
  uint32_t begin;
  uint32_t end;  // the line end, not counted in the line
};

struct FileSnapshot {
  std::string text;
  std::vector<LineSpan> lines;
  // Of every byte read, also of text forgotten since: what a search looks for.
  ByteCounts byte_counts;
  // Index files only: open addressing, each name held once with the first
  // line that gives a usable path. A slot holds the line's number + 1
  // (0 = free) and part of the name's hash, so that most probes need not
  // look at the line itself.
  struct NameSlot {
    uint32_t line_plus_one;
    uint32_t hash_check;
  };
  std::vector<NameSlot> name_slots;

  std::string_view Line(size_t i) const {
    return std::string_view(text).substr(lines[i].begin, lines[i].end - lines[i].begin);
  }
};

enum class Folding { kKeepCase, kLowerAscii };

// Splits a text into lines as TextFile::ReadLine does: a line ends at the
// first CR or LF, CR LF counting as one line end. Called again as the text
// grows, it goes on where it stopped.
class LineSplitter {
 public:
  // Adds the lines that `text` completes; at the text's end (`at_end`) an
  // unterminated last line too.
  void Split(std::string_view text, bool at_end, std::vector<LineSpan>* lines);
  size_t unsplit() const { return unsplit_; }  // the first byte not in a line

 private:
  // The next position of one byte, remembered between the lines so that
  // each byte of the text is looked at once.
  struct NextByte {
    char byte;
    size_t at = std::string::npos;
    size_t searched_to = 0;
    size_t Find(std::string_view text, size_t from);
  };

  size_t unsplit_ = 0;
  NextByte next_lf_{'\n'};
  NextByte next_cr_{'\r'};
};

// Reads an open file in growing pieces into a snapshot's text, lower-cased
// when asked.
class SnapshotReader {
 public:
  // `size_hint` (the file's size when known, else -1) sizes the buffer once
  // the file is seen to need more than one piece, when it is to be kept.
  SnapshotReader(std::FILE* file, std::string path, Folding folding, int64_t size_hint,
                 bool keep_all);

  // Reads the next piece; false once the file's end had been reached
  // before the call. Raises EInOutError on a read error.
  bool ReadMore();
  bool AtEnd() const { return at_end_; }
  // Splits off the lines that the text read so far completes.
  void SplitLines() { splitter_.Split(snapshot_.text, at_end_, &snapshot_.lines); }
  // Forgets the lines split off so far and the text before `offset` (a
  // file too large to keep). Without an offset, the text of those lines.
  void Forget(size_t offset);
  void ForgetLines() { Forget(splitter_.unsplit()); }

  FileSnapshot& snapshot() { return snapshot_; }
  int64_t bytes_read() const { return bytes_read_; }
  bool keeps_all() const { return keep_all_; }

 private:
  std::FILE* file_;
  std::string path_;
  Folding folding_;
  bool keep_all_;
  int64_t size_hint_;
  bool at_end_ = false;
  size_t piece_;
  int64_t bytes_read_ = 0;
  LineSplitter splitter_;
  FileSnapshot snapshot_;
};

// --- index lines: a file name, SEP, its directory --------------------------

// The name: the text before the first SEP; empty for a line without one.
std::string_view IndexName(std::string_view line);
// The path: directory followed by name; the whole line when it has no SEP.
std::string IndexPath(std::string_view line);
// A line can answer a search when its path is not empty and holds no NUL
// byte (the host would take a NUL for the end of the reply). The NUL test
// may be left out for a text known to hold none.
bool IndexLineUsable(std::string_view line, bool may_hold_nul = true);

// Fills name_slots; the snapshot must be whole and split into lines.
void BuildNameTable(FileSnapshot* snapshot);
// The first usable line whose name is `name`, or -1.
int64_t FindName(const FileSnapshot& snapshot, std::string_view name);

}  // namespace quorbel
