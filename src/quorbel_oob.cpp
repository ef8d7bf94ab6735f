#include "quorbel_oob.h"

#include "ZipMstr.h"
#include "list_readahead.h"
#include "quorbel_form.h"

namespace quorbel {

TZOQ_Quorbel* ZOQ_Quorbel = nullptr;

namespace {
constexpr const char* kDefaultStandardFile = "(artist_name)-title_of_song.mp3";
}

TZOQ_Quorbel::TZOQ_Quorbel(WindowHandle parent_window, Env* env)
    : fstandardfile(kDefaultStandardFile), fParentWindow(parent_window), env_(env) {
  fZipMaster1 = std::make_unique<TZipMaster>(*env_);
  freaders = ReadersFromEnvironment();
  PumpMessages();
}

TZOQ_Quorbel::~TZOQ_Quorbel() {
  if (form1) form1->Close();
  form1.reset();
  if (fZipMaster1) fZipMaster1->Unload();
  fZipMaster1.reset();
}

void TZOQ_Quorbel::SetDirectory(const std::string& path) {
  fdirectory = path;
  if (fdirectory.empty() || fdirectory.back() != kPathDelim) fdirectory += kPathDelim;
}

int32_t TZOQ_Quorbel::GetFileCount() {
  int32_t count = fcount;
  PumpMessages();
  return count;
}

void TZOQ_Quorbel::Stop() {
  fterminated = true;
  if (fZipMaster1) fZipMaster1->Cancel = true;
  PumpMessages();
}

}  // namespace quorbel
