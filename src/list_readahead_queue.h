// The generation run's side of reading ahead: the ordering lines read ahead
// of the line being written, the files among them handed to the reader pool
// (list_readahead.h), and the timing of the reads at their turn that tells
// when to start the pool. Until reads turn out slow, every line and every
// file is read at its turn, as a run with one reader reads them. Everything
// here happens on the run's thread; only the pool's readers are others.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>

#include "list_readahead.h"
#include "platform/env.h"

namespace quorbel {

class ReadAheadQueue {
 public:
  // A file the run lets the readers open before its turn.
  struct EarlyRead {
    std::string path;
    bool wants_media = false;
  };
  // What the run tells the queue about its lines.
  struct Source {
    // Reads the next ordering line; may raise.
    std::function<void(std::string* line)> read_line;
    // The file of a line when nothing the run does before the line's turn
    // can change it; nullopt keeps the file for its turn.
    std::function<std::optional<EarlyRead>(const std::string& line)> early_read;
  };

  // How many ordering lines are read ahead of the line being written: the
  // bound of the memory that reading ahead takes, whatever the file count.
  // The lines are topped up in batches, once fewer than half are left.
  static constexpr size_t kAheadLines = 256;
  static constexpr size_t kAheadRefill = kAheadLines / 2;

  // `files`: the run's file count, one ordering line each, and one line
  // more is read, as the run reads it. `readers` (1: every file at its
  // turn) and `read_id3v2` as for ReadAheadPool.
  ReadAheadQueue(Env& env, int32_t files, int32_t readers, bool read_id3v2, Source source);
  ~ReadAheadQueue();
  ReadAheadQueue(const ReadAheadQueue&) = delete;
  ReadAheadQueue& operator=(const ReadAheadQueue&) = delete;

  // The first ordering line, always read at its turn.
  void FirstLine(std::string* line);
  // The next one: at its turn, or from the lines read ahead once slow reads
  // started the pool. A line whose reading failed raises here, at its turn.
  void NextLine(std::string* line);

  // The current line's file as the readers read it, when they have it;
  // waits for them, calling `idle` between waits. Taken before the run
  // renames anything, so that no reader holds a file being renamed.
  MediaRecord TakeAhead(const std::function<void()>& idle);
  // The run renamed the current file onto `path`: a later line naming that
  // path is read at its turn, not from what was read ahead.
  void NoteRenamed(const std::string& path);
  // The current file's record: the one taken ahead while nothing the run
  // did since can have changed the file, else one read now. One open per
  // file. Raises what the read raised.
  MediaRecord Read(const std::string& on_disk, bool wants_media, MediaRecord ahead);

  // Stops the readers after their current read and joins them.
  void Stop() { pool_.reset(); }

 private:
  struct AheadLine {
    std::string line;
    bool pooled = false;         // its file is being read by the pool
    std::exception_ptr failure;  // reading the line failed; raised at its turn
  };

  MediaRecord ReadNow(const std::string& on_disk, bool wants_media);
  void ReadLinesAhead();
  bool Submit(const std::string& line);

  Env& env_;
  const int32_t files_;
  const int32_t readers_;
  const bool read_id3v2_;
  const Source source_;
  std::unique_ptr<ReadAheadPool> pool_;
  std::deque<AheadLine> ahead_;
  int32_t lines_read_ = 0;      // the first line included
  double recent_read_us_ = 0;   // moving average of the reads at their turn
  bool line_failed_ = false;
  bool current_pooled_ = false;
  std::unordered_set<std::string> renamed_onto_;  // Folded paths the run created by renaming
};

}  // namespace quorbel
