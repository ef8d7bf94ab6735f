#include "ZipMstr.h"

#include <optional>
#include <utility>

namespace quorbel {

namespace {

constexpr const char* kExecExport = "ZipDllExec";
constexpr const char* kVersionExport = "GetZipDllVersion";
constexpr int kEngineErrorMask = 0xFF;  // ErrCode keeps the low 8 bits of an engine's code

bool g_message_boxes_enabled = true;

int32_t Flag(bool value) { return value ? ZIPDLL_TRUE : ZIPDLL_FALSE; }

// The component's numbering of the engine's callback actions.
std::optional<ProgressType> ProgressKind(int32_t action) {
  switch (action) {
    case ZIPDLL_NEW_FILE: return ProgressType::NewFile;
    case ZIPDLL_STEP: return ProgressType::ProgressUpdate;
    case ZIPDLL_END_BATCH: return ProgressType::EndOfBatch;
    case ZIPDLL_TOTAL_FILES: return ProgressType::TotalFiles2Process;
    case ZIPDLL_TOTAL_SIZE: return ProgressType::TotalSize2Process;
    default: return std::nullopt;
  }
}

// Sets a flag for the lifetime of the scope.
class FlagScope {
 public:
  explicit FlagScope(bool& flag) : flag_(flag) { flag_ = true; }
  ~FlagScope() { flag_ = false; }
  FlagScope(const FlagScope&) = delete;
  FlagScope& operator=(const FlagScope&) = delete;

 private:
  bool& flag_;
};

}  // namespace

TZipMaster::~TZipMaster() { Unload(); }

void TZipMaster::Unload() {
  if (!busy_) engine_.reset();
}

void TZipMaster::SetMessageBoxesEnabled(bool enabled) { g_message_boxes_enabled = enabled; }

void TZipMaster::SetDLLDirectory(const std::string& directory) {
  dll_directory_ = directory;
  if (dll_directory_.size() > 1 && dll_directory_.back() == kPathDelim) dll_directory_.pop_back();
}

void TZipMaster::Add() {
  success_count_ = 0;
  // The engine reads the names while it calls back, and nested commands may
  // refill FSpecArgs meanwhile: the run works on its own copies.
  std::vector<std::string> paths = std::exchange(FSpecArgs, {});
  if (busy_) return;  // a nested Add: the running one keeps the engine
  FlagScope busy(busy_);
  std::string archive = ZipFilename;
  err_code_ = 0;
  Cancel = false;
  if (archive.empty()) return ReportError(zip_error::kNoArchiveName, "No archive name given");
  if (paths.empty()) return ReportError(zip_error::kNothingToAdd, "Nothing to add");
  EngineCalls calls{};
  if (LoadEngine(&calls)) Execute(calls, paths, archive);
  engine_.reset();
}

std::string TZipMaster::EnginePath() const {
  if (!dll_directory_.empty()) {
    std::string path = dll_directory_ + kPathDelim + kZipEngineName;
    if (env_.FileExists(path)) return path;
  }
  return kZipEngineName;
}

bool TZipMaster::LoadEngine(EngineCalls* calls) {
  std::string path = EnginePath();
  engine_ = env_.LoadLibrary(path);
  if (!engine_) {
    ReportError(zip_error::kEngineNotLoadable, "Cannot load the zip engine " + path);
    return false;
  }
  calls->exec = reinterpret_cast<ZipDllExecFn>(engine_->Symbol(kExecExport));
  calls->version = reinterpret_cast<GetZipDllVersionFn>(engine_->Symbol(kVersionExport));
  if (!calls->exec) {
    ReportError(zip_error::kNoExecExport, std::string("The zip engine lacks ") + kExecExport);
    return false;
  }
  if (!calls->version) {
    ReportError(zip_error::kNoVersionExport, std::string("The zip engine lacks ") + kVersionExport);
    return false;
  }
  return true;
}

void TZipMaster::Execute(const EngineCalls& calls, const std::vector<std::string>& paths,
                         const std::string& archive) {
  try {
    // Older engines read an array of names instead of one record per file.
    if (calls.version() <= ZIPDLL_OLD_LAYOUT_LAST) {
      return ReportError(zip_error::kExecFailed, "The zip engine is too old");
    }
    std::vector<ZipFileData> files;
    for (const std::string& path : paths) files.push_back(ZipFileData{path.c_str()});
    ZipParams params = Parameters(files, archive);
    callback_failed_ = false;
    success_count_ = calls.exec(&params);
    if (callback_failed_) ReportError(zip_error::kExecFailed, "Failure in the progress handler");
  } catch (...) {
    ReportError(zip_error::kExecFailed, "Failure during the zip engine's run");
  }
}

ZipParams TZipMaster::Parameters(const std::vector<ZipFileData>& files,
                                 const std::string& archive) const {
  auto has = [this](AddOption option) { return Flag(AddOptions.contains(option)); };
  ZipParams p{};
  p.owner_window = nullptr;  // this engine shows no dialogs of its own
  p.caller = const_cast<TZipMaster*>(this);
  p.version = ZIPDLL_CALLER_VERSION;
  p.callback = &TZipMaster::EngineCallback;
  p.trace = Flag(Trace);
  p.verbose = Flag(Verbose);
  p.level = AddCompLevel;
  p.store_dir_names = has(AddOption::AddDirNames);
  p.dir_entries = has(AddOption::AddSeparateDirs);
  p.recurse = has(AddOption::AddRecurseDirs);
  p.move = has(AddOption::AddMove);
  p.update = has(AddOption::AddUpdate);
  p.freshen = has(AddOption::AddFreshen);
  p.force_dos = has(AddOption::AddForceDOS);
  p.zip_time = has(AddOption::AddZipTime);
  p.hidden_files = has(AddOption::AddHiddenFiles);
  p.encrypt = has(AddOption::AddEncrypt);
  p.archive = archive.c_str();
  p.temp_dir = nullptr;
  p.file_count = int32_t(files.size());
  p.files = files.data();
  return p;
}

int32_t ZIPDLL_CALL TZipMaster::EngineCallback(const ZipCallbackData* data) {
  return static_cast<TZipMaster*>(data->caller)->OnEngineEvent(*data);
}

// Nothing may unwind through the engine's frames: a failure in the handler
// ends the run, and Execute reports it once the engine has returned.
int32_t TZipMaster::OnEngineEvent(const ZipCallbackData& data) {
  try {
    if (data.action == ZIPDLL_MESSAGE) {
      if (data.error_code != 0) err_code_ = data.error_code & kEngineErrorMask;
    } else if (std::optional<ProgressType> kind = ProgressKind(data.action); kind && OnProgress) {
      OnProgress(*this, *kind, data.text ? data.text : "", data.size);
    }
    // The handler pumps on its own; without one, the component keeps the
    // host responsive (and lets a stop request arrive).
    if (!OnProgress) env_.PumpMessages();
  } catch (...) {
    callback_failed_ = true;
    return 1;
  }
  return Cancel ? 1 : 0;
}

void TZipMaster::ReportError(int code, const std::string& text) {
  err_code_ = code;
  if (!Unattended && g_message_boxes_enabled) env_.ShowErrorBox("Zip", text);
}

}  // namespace quorbel
