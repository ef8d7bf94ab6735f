// What the target system fixes at compile time: the path delimiter and the
// zip engine's file name. The one header outside the platform
// implementations that asks which system it is built for.
#pragma once

namespace quorbel {

#ifdef _WIN32
inline constexpr char kPathDelim = '\\';
inline constexpr const char* kZipEngineName = "ZIPDLL.DLL";  // the zip engine's file
#else
inline constexpr char kPathDelim = '/';
inline constexpr const char* kZipEngineName = "libzipdll.so";
#endif

}  // namespace quorbel
