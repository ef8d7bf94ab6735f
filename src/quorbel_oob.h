// The engine: the one object that holds all of the library's state.
//
// LoadDll constructs it and UnloadDll destroys it; every command works on
// it through ZOQ_Quorbel. Its operations are spread over files by concern:
//   quorbel_oob.cpp          construction, destruction, the small operations
//   engine_config.cpp        reading the configuration file
//   list_progress.cpp        creating, showing and hiding the progress window
//   engine_dump.cpp          the diagnostic dump
//   list_walk.cpp            counting: the drive and directory walk
//   list_order.cpp           the ordering files and their sort
//   common/list_text.cpp     blank squeezing
//   list_run.cpp             the generation run
//   list_format.cpp          the list file's layout
//   list_badfiles.cpp        the bad-file list
//   serve_chart.cpp          the download chart
//   serve_lookup.cpp         index search and find answering
//   serve_lookup_cache.cpp   the list and index kept in memory for them
//   list_compress.cpp        packing the list into its ZIP archive
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "list_text.h"
#include "platform/env.h"
#include "shared_names.h"
#include "text_file.h"

namespace quorbel {

class OrderKeys;
class LookupCache;
class TForm1;
class TZipMaster;

// An ordered list of single-byte strings; duplicates allowed.
using TStringList = std::vector<std::string>;

// The two ordering files that the counting writes and the run reads: by
// directories, one path per line (only when the gear asks for that order),
// and by files, the name, SEP and the directory (always: it becomes the
// index).
enum class OrderKind { kByDirs, kByFiles };

inline std::string OrderFileName(OrderKind kind) {
  return kind == OrderKind::kByDirs ? "bydirs.tmp" : "byfiles.tmp";
}

// The [listmake] gear value, and its default, that orders the list by
// directories; any other value orders it by files.
inline constexpr std::string_view kByDirsGear = "1";

class TZOQ_Quorbel {
 public:
  explicit TZOQ_Quorbel(WindowHandle parent_window, Env* env = CurrentEnv());
  virtual ~TZOQ_Quorbel();
  TZOQ_Quorbel(const TZOQ_Quorbel&) = delete;
  TZOQ_Quorbel& operator=(const TZOQ_Quorbel&) = delete;

  Env& env() const { return *env_; }

  // --- fields, in the order the dump shows them ---------------------------
  bool fread = false;
  bool fcompress = true;
  bool frenamebadfiles = true;
  bool finprogress = false;
  bool fcounted = false;
  bool fterminated = false;
  int32_t fActFile = 0;
  long double fmega = 0;
  std::string fmethod;
  std::string fgear;
  std::string fnick;
  std::string fname;
  std::string fdirectory;
  std::string fstandardfile;
  std::string fhitnum;
  TStringList fpreface;
  TStringList fextension;
  TStringList fdrive;
  TextFile fbydirsfile;
  TextFile fbyfilesfile;
  int32_t fcount = 0;
  TStringList fbadfiles;
  TStringList fchart;
  std::unique_ptr<TZipMaster> fZipMaster1;
  std::string ferror;
  std::unique_ptr<TForm1> form1;
  WindowHandle fParentWindow = nullptr;
  // [listmake] id3v2=1: files without an ID3v1 tag show their ID3v2 texts.
  // Not one of the dumped fields.
  bool fid3v2 = false;

  // --- tuning, not part of the dump -----------------------------------------
  // Files a generation run reads at once, ahead of the line it writes; 1
  // reads each file on the host's thread at its turn. From QUORBEL_READERS
  // when set (list_readahead.h).
  int32_t freaders = 1;

  // --- small operations ---------------------------------------------------
  // fdirectory := path, with the path delimiter appended when missing.
  void SetDirectory(const std::string& path);
  // Reads fcount, pumps messages once, returns the value read.
  int32_t GetFileCount();
  // Requests termination of whatever long operation runs.
  void Stop();
  // Processes the host's pending window messages once.
  void PumpMessages() { env_->PumpMessages(); }

  // --- configuration (engine_config.cpp) ---------------------------------
  void ReadIniFile(const std::string& path);

  // --- progress window (list_progress.cpp) -----------------------------
  void CreateProgressWindow();
  void ShowProgressWindow();
  void HideProgressWindow();
  // The progress window's status text; creates the window when needed.
  void SetStatusText(const std::string& text);

  // --- diagnostic dump (engine_dump.cpp) ---------------------------------
  bool WriteDump();

  // --- counting (list_walk.cpp, list_order.cpp) ---------------------
  bool CountFiles();
  void WalkLevel(const TStringList& level);
  static bool MatchExtension(const std::string& extension, const std::string& pattern);
  // The order fgear asks the list to be written in.
  OrderKind ListOrder() const {
    return fgear == kByDirsGear ? OrderKind::kByDirs : OrderKind::kByFiles;
  }
  TextFile& OrderFile(OrderKind kind) {
    return kind == OrderKind::kByDirs ? fbydirsfile : fbyfilesfile;
  }
  std::string OrderPath(OrderKind kind) const { return WorkFile(OrderFileName(kind)); }
  void WriteOrderLine(OrderKind kind, const std::string& line);
  void SortOrderFile(OrderKind kind, OrderKeys* made = nullptr);
  void ReadOrderLine(OrderKind kind, std::string* line);

  // --- blank squeezing (common/list_text.cpp) -------------------------
  static std::string Squeeze(const std::string& text) { return SqueezeBlanks(text); }

  // --- generation run (list_run.cpp) ------------------------------
  void GenerateList();

  // --- bad file names (list_badfiles.cpp) ------------------------------
  int32_t BadFileCount() const;
  std::string GetBadFile(int32_t index) const;

  // --- download chart (serve_chart.cpp) ---------------------------------
  bool UpdateChart();
  static std::string ColonsToBlanks(const std::string& text);

  // --- compression (list_compress.cpp) ---------------------------------
  std::string CompressList(bool show_progress);

  // --- lookups (serve_lookup.cpp, serve_lookup_cache.cpp) --------------------
  // The list and index kept in memory between requests; lives as long as
  // the engine, so a request may hold it across its message pumping.
  LookupCache& lookup_cache();
  // Forgets the kept files, for example after a run wrote new ones.
  void DropLookupCache();

  // --- file names in the working directory --------------------------------
  std::string WorkFile(const std::string& name) const { return fdirectory + name; }
  std::string ListFile() const { return WorkFile(fname + names::kListSuffix); }
  std::string IndexFile() const { return WorkFile(fname + names::kIndexSuffix); }
  std::string ArchiveFile() const { return WorkFile(fname + names::kZipSuffix); }
  // Removes a file when it is there, before it is made anew or so that it
  // is gone; a refused removal is not reported.
  void RemoveIfExists(const std::string& path) {
    if (env_->FileExists(path)) env_->RemoveFile(path);
  }

 private:
  Env* env_;

  // Private helpers, one block per file that uses them.
  // [walk]
  // State of one counting (list_walk.cpp); lives on CountFiles' stack.
  struct Walk;
  Walk* walk_ = nullptr;
  // [lookup]
  std::shared_ptr<LookupCache> lookup_cache_;  // shared: the type stays incomplete here
};

// The one engine; empty before LoadDll and after UnloadDll.
extern TZOQ_Quorbel* ZOQ_Quorbel;

}  // namespace quorbel
