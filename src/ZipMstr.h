// The zip component: the slice of it that packs the list file, driving the
// external zip engine (ZIPDLL.DLL / libzipdll.so) loaded at run time.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/env.h"
#include "zipdll.h"

namespace quorbel {


// Kinds of OnProgress events, in the component's numbering.
enum class ProgressType {
  NewFile = 0,             // Filename and FileSize of the entry begun
  ProgressUpdate = 1,      // FileSize: input bytes packed since the last one
  EndOfBatch = 2,
  TotalFiles2Process = 3,  // FileSize: the number of files
  TotalSize2Process = 4,   // FileSize: the bytes to pack in all
};

enum class AddOption {
  AddDirNames, AddRecurseDirs, AddMove, AddFreshen, AddUpdate, AddZipTime,
  AddForceDOS, AddHiddenFiles, AddEncrypt, AddSeparateDirs,
  AddDiskSpan, AddDiskSpanErase,  // spanning is not part of this slice: no effect
};

// The component's own error numbers (ErrCode).
namespace zip_error {
inline constexpr int kExecFailed = 10101;
inline constexpr int kNoArchiveName = 10102;
inline constexpr int kNothingToAdd = 10301;
inline constexpr int kNoExecExport = 10602;
inline constexpr int kNoVersionExport = 10603;
inline constexpr int kEngineNotLoadable = 10604;
}  // namespace zip_error

class TZipMaster {
 public:
  using TProgressEvent = std::function<void(TZipMaster& sender, ProgressType ProgrType,
                                            const std::string& Filename, int64_t FileSize)>;

  explicit TZipMaster(Env& env) : env_(env) {}
  ~TZipMaster();
  TZipMaster(const TZipMaster&) = delete;
  TZipMaster& operator=(const TZipMaster&) = delete;

  bool Verbose = false;
  bool Trace = false;
  // When false, the component's own errors also go to a message box (see
  // SetMessageBoxesEnabled for when one can appear at all).
  bool Unattended = false;
  int AddCompLevel = 9;
  std::set<AddOption> AddOptions;
  // Paths of the files to add; emptied by every Add.
  std::vector<std::string> FSpecArgs;
  std::string ZipFilename;
  TProgressEvent OnProgress;

  // Raised by a stop request; the progress callback then asks the engine
  // to abort. Every Add lowers it first.
  bool Cancel = false;

  // Directory searched first for the engine; kept without a trailing delimiter.
  void SetDLLDirectory(const std::string& directory);

  // Number of the last error of the latest Add (0 = none), and the number
  // of files it added.
  int ErrCode() const { return err_code_; }
  int SuccessCount() const { return success_count_; }
  // True while an Add runs (also while it pumps messages).
  bool Busy() const { return busy_; }

  // Writes ZipFilename with the files of FSpecArgs through the engine.
  void Add();

  // Unloads the zip engine library if it is loaded (never under a running Add).
  void Unload();

  // Process-wide: message boxes for the component's errors may appear (only
  // on Windows, and only at an interactive desktop). Test programs turn
  // them off so that nothing waits for a click.
  static void SetMessageBoxesEnabled(bool enabled);

 private:
  struct EngineCalls {
    GetZipDllVersionFn version;
    ZipDllExecFn exec;
  };

  std::string EnginePath() const;
  bool LoadEngine(EngineCalls* calls);
  void Execute(const EngineCalls& calls, const std::vector<std::string>& paths,
               const std::string& archive);
  ZipParams Parameters(const std::vector<ZipFileData>& files, const std::string& archive) const;
  int32_t OnEngineEvent(const ZipCallbackData& data);
  static int32_t ZIPDLL_CALL EngineCallback(const ZipCallbackData* data);
  void ReportError(int code, const std::string& text);

  Env& env_;
  std::unique_ptr<DynamicLibrary> engine_;
  std::string dll_directory_;
  int err_code_ = 0;
  int success_count_ = 0;
  bool busy_ = false;
  bool callback_failed_ = false;
};

}  // namespace quorbel
