// Reading the configuration file: five values of [listmake] and the value
// lists of [Preface], [Extension] and [drive].
#include <algorithm>

#include "config_sections.h"
#include "quorbel_oob.h"

namespace quorbel {

namespace {

using config::kListMake;
constexpr const char* kId3v2On = "1";

// The values of every key of a section, in file order.
TStringList ReadValueList(Env& env, const std::string& path, const std::string& section) {
  TStringList values;
  for (const std::string& key : env.ProfileKeys(path, section)) {
    values.push_back(env.ProfileString(path, section, key, ""));
  }
  return values;
}

}  // namespace

void TZOQ_Quorbel::ReadIniFile(const std::string& path) {
  fpreface.clear();
  fextension.clear();
  fdrive.clear();
  fmethod.clear();
  fgear.clear();
  fnick.clear();
  fname.clear();
  fhitnum.clear();
  fid3v2 = false;

  // The defaults apply only inside an existing [listmake] section.
  if (!env_->ProfileKeys(path, kListMake).empty()) {
    fmethod = env_->ProfileString(path, kListMake, "method", "s");
    fgear = env_->ProfileString(path, kListMake, "gear", std::string(kByDirsGear));
    fnick = env_->ProfileString(path, kListMake, names::kNickKey, "");
    fname = env_->ProfileString(path, kListMake, "name", "");
    fhitnum = env_->ProfileString(path, kListMake, "hitnum", "30");
    fid3v2 = env_->ProfileString(path, kListMake, "id3v2", "0") == kId3v2On;
  }

  fpreface = ReadValueList(*env_, path, config::kPreface);
  fextension = ReadValueList(*env_, path, config::kExtension);
  fdrive = ReadValueList(*env_, path, config::kDrive);
  for (std::string& drive : fdrive) {
    // "C:\" becomes "C:"; the walk adds the delimiter itself.
    if (!drive.empty() && (drive.back() == '\\' || drive.back() == kPathDelim)) drive.pop_back();
  }
  std::stable_sort(fdrive.begin(), fdrive.end(), [this](const std::string& a, const std::string& b) {
    return env_->CompareText(a, b) < 0;
  });

  fread = true;
}

}  // namespace quorbel
