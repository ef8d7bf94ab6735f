// The generation run: writes the list through "tmplist.tmp" one line at a
// time, records and renames bad file names, puts the index and the list in
// place and compresses the list when asked.
#include <algorithm>
#include <optional>
#include <string>
#include <utility>

#include "command_failure.h"
#include "command_reply.h"
#include "durable_replace.h"
#include "engine_text.h"
#include "list_format.h"
#include "list_readahead.h"
#include "list_readahead_queue.h"
#include "mp3info.h"
#include "quorbel_form.h"
#include "quorbel_oob.h"
#include "serve_lookup_text.h"

namespace quorbel {

namespace {

using listformat::Lines;

constexpr const char* kTempList = "tmplist.tmp";

// How far a run got. The internal-error line shows the number of the step
// a failure escaped from ("in Line: \"68\""), so the numbers are fixed output:
// they follow the run's course but leave gaps and jump (the empty list's
// steps come last), and none may be renumbered.
enum class Step : int {
  kOpenWindow = 1,
  kCount = 2,
  kNameList = 3,
  kCheckEmpty = 4,
  kCheckStopped = 5,
  kStoppedCounting = 81,
  kStartHeader = 6,
  kRemoveTempList = 7,
  kForgetBadFiles = 8,
  kCreateTempList = 10,
  kTempListRefused = 80,
  kWriteHeader = 11,
  kWritePreface = 13,
  kHeaderWritten = 15,
  kFirstDirectory = 16,
  kStartFiles = 17,
  kNextFile = 18,
  kShowFileProgress = 19,
  kTakeFile = 20,
  kCheckName = 21,
  kRecordBadName = 22,
  kRenameBadName = 123,
  kReadMedia = 40,
  kBuildLine = 23,
  kDirectoryHeader = 24,
  kLineByDirs = 26,
  kLineByFiles = 27,
  kSizeText = 30,
  kAddSize = 39,
  kHeaderItems = 41,
  kTagItems = 52,
  kWriteLine = 59,
  kFooterStatus = 60,
  kWriteFooter = 61,
  kCloseTempList = 68,
  kCheckStoppedWriting = 69,
  kStoppedWriting = 79,
  kIndexStatus = 70,
  kRemoveIndex = 71,
  kPutIndex = 72,
  kPutList = 74,
  kListNotPut = 78,
  kDoneStatus = 75,
  kFinish = 76,
  kDone = 77,
  kEmptyRemoveTempList = 82,
  kEmptyRemoveIndex = 83,
  kEmptyCreateTempList = 85,
  kEmptyTempListRefused = 86,
  kEmptyWriteTail = 89,
  kEmptyCloseTempList = 91,
  kEmptyFinish = 92,
};

std::string Count(int32_t n) { return std::to_string(n); }

// Shown for every file: built in one string.
std::string ProgressText(int32_t i, int32_t count) {
  std::string text = "Processing File ";
  text += Count(i);
  text += " of ";
  text += Count(count);
  text += " files.";
  return text;
}

// Paths as the file systems that ignore letter case compare them; where
// case matters this only makes a few more files read at their turn.
// A to Z only: bytes above 0x7F stay as they are, as the "C" locale leaves
// them, whatever locale the host has set.
bool SameFolded(std::string_view a, std::string_view b) {
  auto fold = [](char c) {
    LowerAscii(&c, 1);
    return c;
  };
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [&](char x, char y) { return fold(x) == fold(y); });
}

// One run of the list generation. The step number tells the internal-error
// line how far the run got.
class ListRun {
 public:
  explicit ListRun(TZOQ_Quorbel& engine) : e_(engine), env_(engine.env()) {}

  // Leaves the outcome in ferror; unexpected failures escape to the caller.
  void Run();
  Step step() const { return step_; }

 private:
  void WriteList();
  void WriteEmptyList();
  void WriteHeader(std::string_view preface_indent);
  void WriteFiles(std::string line);
  void WriteFile(const std::string& line);
  std::optional<ReadAheadQueue::EarlyRead> EarlyReadOf(const std::string& line) const;
  std::string FullPath(const std::string& line) const;
  std::string HandleBadFile(const std::string& path);
  std::string FileLine(const std::string& path, const TMP3Information& reader, bool have_media);
  void WriteDirectoryHeader(const std::string& directory);
  void CloseTempList();
  bool PutIndexInPlace();
  bool PutListInPlace();
  std::string FinalOutcome();

  void WriteLines(const Lines& lines);
  void Status(const std::string& text) { e_.SetStatusText(text); }
  TForm1& Window();
  void Terminated(Step step);
  bool ByDirs() const { return order_ == OrderKind::kByDirs; }

  TZOQ_Quorbel& e_;
  Env& env_;
  Step step_ = Step::kOpenWindow;
  OrderKind order_ = OrderKind::kByDirs;
  LocalTime time_{};
  bool compress_ = false;
  TextFile out_;
  std::string last_directory_;
  // Every ordering line and every file is read through it, in order.
  std::optional<ReadAheadQueue> queue_;
};

void ListRun::Run() {
  e_.fterminated = false;  // a stop asked for before the run is forgotten
  // Packing is the run's own from its start, as the working folder is: a
  // ZOQ_SetCompress from inside the run holds from the next operation on.
  compress_ = e_.fcompress;
  step_ = Step::kOpenWindow;
  if (!e_.form1) e_.CreateProgressWindow();
  step_ = Step::kCount;
  if (!e_.fcounted) e_.CountFiles();  // a failure it leaves is replaced by the run's own outcome
  e_.finprogress = true;
  step_ = Step::kNameList;
  time_ = env_.Now();  // once: the list's name and its banner agree
  e_.fname = listformat::ListBaseName(e_.fnick, time_);
  step_ = Step::kCheckEmpty;
  if (e_.fcount == 0) return WriteEmptyList();
  step_ = Step::kCheckStopped;
  if (e_.fterminated) return Terminated(Step::kStoppedCounting);  // stopped while counting
  WriteList();
}

void ListRun::WriteList() {
  step_ = Step::kStartHeader;
  Status("Writing Header...");
  Window().SetProgressMax(e_.fcount);
  e_.fmega = 0;
  step_ = Step::kRemoveTempList;
  e_.RemoveIfExists(e_.WorkFile(kTempList));
  step_ = Step::kForgetBadFiles;
  e_.fbadfiles.clear();
  step_ = Step::kCreateTempList;
  if (!out_.Rewrite(env_, e_.WorkFile(kTempList))) {
    step_ = Step::kTempListRefused;
    Status("Cannot create tempfile!");
    e_.ferror = reply::kNotFound;
    return;
  }
  WriteHeader(listformat::kPrefaceIndent);
  WriteLines(listformat::HeaderEndLines());
  order_ = e_.ListOrder();
  queue_.emplace(env_, e_.fcount, e_.freaders, e_.fid3v2,
                 ReadAheadQueue::Source{
                     [this](std::string* line) { e_.ReadOrderLine(order_, line); },
                     [this](const std::string& line) { return EarlyReadOf(line); }});
  std::string line;
  queue_->FirstLine(&line);
  step_ = Step::kFirstDirectory;
  if (ByDirs()) WriteDirectoryHeader(listformat::DirectoryOf(line));
  WriteFiles(line);
  if (!e_.fterminated) {
    step_ = Step::kFooterStatus;
    Status("Writing footer...");
    step_ = Step::kWriteFooter;
    WriteLines(listformat::FooterLines(e_.fcount, e_.fmega));
  }
  step_ = Step::kCloseTempList;
  const bool stopped = e_.fterminated;
  if (stopped) {
    out_.Close();  // the lines so far stay in "tmplist.tmp"
  } else {
    CloseTempList();
  }
  e_.fbydirsfile.Close();
  e_.fbyfilesfile.Close();
  step_ = Step::kCheckStoppedWriting;
  if (stopped) return Terminated(Step::kStoppedWriting);
  step_ = Step::kIndexStatus;
  Status("Filelist done... Total " + Count(e_.fcount) + " filez ... generating indexfiles");
  if (!PutIndexInPlace() || !PutListInPlace()) {
    step_ = Step::kListNotPut;
    Status("Done... Error renaming tempfile!");
    e_.ferror = reply::kCannotCreate;
    return;
  }
  step_ = Step::kDoneStatus;
  Status("Filelist done... Total " + Count(e_.fcount) + " filez ... ");
  step_ = Step::kFinish;
  e_.ferror = FinalOutcome();
  step_ = Step::kDone;
}

// Without files: no status texts, no bad-file list change, and the
// ordering files stay as the counting left them.
void ListRun::WriteEmptyList() {
  step_ = Step::kEmptyRemoveTempList;
  e_.RemoveIfExists(e_.WorkFile(kTempList));
  step_ = Step::kEmptyRemoveIndex;
  e_.RemoveIfExists(e_.IndexFile());
  step_ = Step::kEmptyCreateTempList;
  if (!out_.Rewrite(env_, e_.WorkFile(kTempList))) {
    step_ = Step::kEmptyTempListRefused;
    e_.ferror = reply::kNotFound;
    return;
  }
  WriteHeader(listformat::kEmptyListPrefaceIndent);
  step_ = Step::kEmptyWriteTail;
  WriteLines(listformat::EmptyListTailLines());
  step_ = Step::kEmptyCloseTempList;
  CloseTempList();
  if (!PutListInPlace()) {
    e_.ferror = reply::kCannotCreate;
    return;
  }
  step_ = Step::kEmptyFinish;
  e_.ferror = FinalOutcome();
}

void ListRun::WriteHeader(std::string_view preface_indent) {
  step_ = Step::kWriteHeader;
  WriteLines(listformat::HeaderLines(e_.fnick, e_.fstandardfile, time_));
  step_ = Step::kWritePreface;
  WriteLines(listformat::PrefaceLines(e_.fpreface, preface_indent));
  step_ = Step::kHeaderWritten;
}

// The ordering file is read a line per file, ahead of the writing when
// more than one reader is asked for; the lines are written in its order.
void ListRun::WriteFiles(std::string line) {
  step_ = Step::kStartFiles;
  const int32_t count = e_.fcount;
  for (int32_t i = 0; i < count; ++i) {
    step_ = Step::kNextFile;
    e_.fActFile = i;
    e_.PumpMessages();  // a stop, the Abort button or other commands arrive here
    if (e_.fterminated) break;
    step_ = Step::kShowFileProgress;
    Status(ProgressText(i, count));
    Window().SetProgressPosition(i);
    WriteFile(line);
    queue_->NextLine(&line);
  }
  queue_->Stop();  // the readers stop and are joined before anything else happens
}

void ListRun::WriteFile(const std::string& line) {
  step_ = Step::kTakeFile;
  const std::string path = FullPath(line);
  // Taken before any rename, so that no reader holds a file being renamed.
  MediaRecord ahead = queue_->TakeAhead([this] { e_.PumpMessages(); });
  step_ = Step::kCheckName;
  const std::string on_disk = listformat::HasDoubleBlank(line) ? HandleBadFile(path) : path;
  const bool wants_media = listformat::WantsMediaItems(path, e_.fmethod);
  if (wants_media) step_ = Step::kReadMedia;
  const MediaRecord media = queue_->Read(on_disk, wants_media, std::move(ahead));
  step_ = Step::kBuildLine;
  const std::string text = FileLine(path, *media.reader, media.have_media);
  step_ = Step::kWriteLine;
  out_.WriteLine(text);
}

// Files that the run itself may change before their turn are read at
// their turn: bad names (renamed first) and files in the working folder
// (the run writes there).
std::optional<ReadAheadQueue::EarlyRead> ListRun::EarlyReadOf(const std::string& line) const {
  if (listformat::HasDoubleBlank(line)) return std::nullopt;
  std::string path = FullPath(line);
  if (SameFolded(listformat::DirectoryOf(path), e_.fdirectory)) return std::nullopt;
  const bool wants_media = listformat::WantsMediaItems(path, e_.fmethod);
  return ReadAheadQueue::EarlyRead{std::move(path), wants_media};
}

// By directories the line is the path; by files it is the name, SEP and
// the directory.
std::string ListRun::FullPath(const std::string& line) const {
  if (ByDirs()) return line;
  const size_t sep = line.find(kSep);
  if (sep == std::string::npos) return line;
  return line.substr(sep + 1) + line.substr(0, sep);
}

// Records a name with double blanks and renames the file when asked; gives
// the path the file has on disk afterwards.
std::string ListRun::HandleBadFile(const std::string& path) {
  step_ = Step::kRecordBadName;
  e_.fbadfiles.push_back(listformat::BadFileEntry(path));
  if (!e_.frenamebadfiles) return path;
  step_ = Step::kRenameBadName;
  // The rename never replaces another file; a refused one is not reported.
  // The reader follows a renamed file so that its line still shows the
  // MPEG data and the tag.
  const std::string squeezed = TZOQ_Quorbel::Squeeze(path);
  if (!env_.RenameFile(path, squeezed)) return path;
  queue_->NoteRenamed(squeezed);  // a later line of that name is read anew
  return squeezed;
}

std::string ListRun::FileLine(const std::string& path, const TMP3Information& reader,
                              bool have_media) {
  if (ByDirs()) {
    step_ = Step::kDirectoryHeader;
    const std::string directory = listformat::DirectoryOf(path);
    if (directory != last_directory_) WriteDirectoryHeader(directory);
  }
  step_ = ByDirs() ? Step::kLineByDirs : Step::kLineByFiles;
  std::string text = listformat::FileLineStart(e_.fnick, listformat::FileNameOf(path), e_.fmethod);
  if (listformat::ShowsSize(e_.fmethod)) {
    step_ = Step::kSizeText;
    text += listformat::SizeText(reader.FileSize());
  }
  step_ = Step::kAddSize;
  e_.fmega += reader.FileSize();
  if (have_media) {
    step_ = Step::kHeaderItems;
    text += listformat::HeaderItems(e_.fmethod, reader.Info);
    step_ = Step::kTagItems;
    text += listformat::TagItems(e_.fmethod, reader.Tag);
  }
  return text;
}

void ListRun::WriteDirectoryHeader(const std::string& directory) {
  WriteLines(listformat::DirectoryHeaderLines(directory));
  last_directory_ = directory;
}

// A list cut short by a full disk must not replace the previous one.
void ListRun::CloseTempList() { out_.CloseOrRaise(); }

// The new index replaces the old one in one step. One that cannot be put
// in place fails the run before the list is: the previous list and index
// stay, and still match.
bool ListRun::PutIndexInPlace() {
  step_ = Step::kRemoveIndex;
  const std::string by_files = e_.OrderPath(OrderKind::kByFiles);
  if (!env_.FileExists(by_files)) {
    e_.RemoveIfExists(e_.IndexFile());
  } else {
    step_ = Step::kPutIndex;
    if (!ReplaceDurably(env_, by_files, e_.IndexFile())) return false;
  }
  e_.RemoveIfExists(e_.OrderPath(OrderKind::kByDirs));
  return true;
}

// The previous list stays in place until the new one replaces it in one step.
bool ListRun::PutListInPlace() {
  step_ = Step::kPutList;
  return ReplaceDurably(env_, e_.WorkFile(kTempList), e_.ListFile());
}

std::string ListRun::FinalOutcome() {
  return compress_ ? e_.CompressList(true) : std::string(reply::kOk);
}

void ListRun::WriteLines(const Lines& lines) {
  for (const std::string& line : lines) out_.WriteLine(line);
}

TForm1& ListRun::Window() {
  if (!e_.form1) e_.CreateProgressWindow();
  return *e_.form1;
}

void ListRun::Terminated(Step step) {
  step_ = step;
  Status("Terminated!");
  e_.ferror = reply::kTerminated;
}

// The run's internal-error text: the failure and the step it was raised in.
std::string RunFailureText(const FailureInfo& failure, Step step) {
  return reply::InternalErrorHead(failure) + ">\" in Line: \"" + std::to_string(int(step)) +
         "\" - " +
         std::string(reply::kPleaseReport);
}

}  // namespace

void TZOQ_Quorbel::GenerateList() {
  ListRun run(*this);
  try {
    run.Run();
  } catch (...) {
    ferror = RunFailureText(DescribeCurrentFailure(), run.step());
    // The next run counts again; no handle outlives the command.
    fbydirsfile.Close();
    fbyfilesfile.Close();
  }
  finprogress = false;  // after a failure too: the next long operation may start
  fcounted = false;
  DropLookupCache();  // the run may have put a new list and index in place
}

}  // namespace quorbel
