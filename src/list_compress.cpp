// Packing the list into its ZIP archive.
#include <algorithm>
#include <limits>

#include "ZipMstr.h"
#include "command_reply.h"
#include "quorbel_form.h"
#include "quorbel_oob.h"

namespace quorbel {

namespace {

constexpr const char* kCompressingText = "Compress file ...";
constexpr const char* kCompressedText = "Compressing file done!";
constexpr int64_t kProgressStep = ZIPDLL_STEP_BYTES;  // the engine steps after this much input

int32_t ClampToBar(int64_t value) {
  return int32_t(std::clamp<int64_t>(value, 0, std::numeric_limits<int32_t>::max()));
}

// The progress window's side of a compression with progress shown.
void ShowZipProgress(TZOQ_Quorbel& engine, ProgressType kind, int64_t size) {
  if (kind == ProgressType::TotalSize2Process) {
    engine.SetStatusText(kCompressingText);  // creates the window when needed
    engine.form1->SetProgressMax(ClampToBar(size));
    engine.form1->SetProgressPosition(1);
    engine.form1->SetProgressMin(0);
  } else if (kind == ProgressType::ProgressUpdate && engine.form1) {
    // A bar never goes past its maximum; the last step is usually a short one.
    int64_t grown = int64_t(engine.form1->ProgressPosition()) + kProgressStep;
    engine.form1->SetProgressPosition(ClampToBar(std::min<int64_t>(grown, engine.form1->ProgressMax())));
  } else if (kind == ProgressType::EndOfBatch) {
    engine.SetStatusText(kCompressedText);
  }
  engine.PumpMessages();
}

// The compressor's own internal-error text: no blank before "Please".
std::string CompressFailureText(const FailureInfo& f) {
  return reply::InternalErrorHead(f) + ">\"" + std::string(reply::kPleaseReport);
}

}  // namespace

std::string TZOQ_Quorbel::CompressList(bool show_progress) {
  try {
    const std::string list = ListFile();
    const std::string archive = ArchiveFile();
    if (!env_->FileExists(list)) return std::string(reply::kNotFound);
    // Every run writes a new archive.
    RemoveIfExists(archive);
    PumpMessages();

    TZipMaster& zip = *fZipMaster1;
    zip.Verbose = false;
    zip.SetDLLDirectory(fdirectory);
    zip.FSpecArgs = {list};
    zip.ZipFilename = archive;
    if (show_progress) {
      // Stays attached: later runs through ZOQ_Compress show progress too.
      zip.OnProgress = [this](TZipMaster&, ProgressType kind, const std::string&, int64_t size) {
        ShowZipProgress(*this, kind, size);
      };
    }
    PumpMessages();
    zip.Add();
    PumpMessages();
    bool failed = zip.ErrCode() != 0 || zip.SuccessCount() < 1;
    return std::string(failed ? reply::kCompressError : reply::kOk);
  } catch (...) {
    return CompressFailureText(DescribeCurrentFailure());
  }
}

}  // namespace quorbel
