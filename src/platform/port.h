// What the target system fixes at compile time: the path delimiter, the zip
// engine's file name and how a file position beyond 2 GiB is reached. The
// one place outside the platform implementations that asks which system it
// is built for.
#pragma once

#include <cstdint>
#include <cstdio>

namespace quorbel {

#ifdef _WIN32
inline constexpr char kPathDelim = '\\';
inline constexpr const char* kZipEngineName = "ZIPDLL.DLL";  // the zip engine's file
#else
inline constexpr char kPathDelim = '/';
inline constexpr const char* kZipEngineName = "libzipdll.so";
#endif

// Moves an open file's position, also beyond 2 GiB where `long` is 32 bits
// wide; true when it moved.
inline bool SeekFile(std::FILE* file, int64_t offset, int origin) {
#ifdef _WIN32
  return _fseeki64(file, offset, origin) == 0;
#else
  return fseeko(file, off_t(offset), origin) == 0;
#endif
}

}  // namespace quorbel
