// The sections of the library's configuration file, named once for the
// library that reads them and the host that checks them.
#pragma once

namespace quorbel::config {

inline constexpr const char* kListMake = "listmake";    // the settings
inline constexpr const char* kPreface = "Preface";      // lines put at the top of the list
inline constexpr const char* kExtension = "Extension";  // the file types listed
inline constexpr const char* kDrive = "drive";          // the folders walked

}  // namespace quorbel::config
