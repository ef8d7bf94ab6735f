// Reading a ZIP archive back for the compression tests: the central
// directory checked against the local headers, a CRC-32 of the expected
// content, and (on Linux) Python's zipfile and unzip as independent readers.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace quorbel::test {

struct ZipEntryInfo {
  std::string name;
  uint16_t flags = 0;
  uint16_t method = 0;
  uint32_t dos_time = 0;  // date in the high word
  uint32_t crc = 0;
  uint32_t packed = 0;
  uint32_t size = 0;
};

struct ZipInfo {
  std::string problem;  // empty when the structure is sound
  std::vector<ZipEntryInfo> entries;
};

inline uint16_t Le16(const std::string& b, size_t at) {
  return uint16_t(uint8_t(b[at]) | uint8_t(b[at + 1]) << 8);
}
inline uint32_t Le32(const std::string& b, size_t at) {
  return uint32_t(Le16(b, at)) | uint32_t(Le16(b, at + 2)) << 16;
}

// Walks the end record, every central entry and the local header it points
// to; the archive must hold nothing else.
inline ZipInfo ReadZipDirectory(const std::string& path) {
  constexpr size_t kEndSize = 22, kCentralSize = 46, kLocalSize = 30;
  ZipInfo info;
  std::string b = ReadFile(path);
  if (b.size() < kEndSize || Le32(b, b.size() - kEndSize) != 0x06054b50) {
    info.problem = "no end record at the archive's end";
    return info;
  }
  size_t end = b.size() - kEndSize;
  size_t count = Le16(b, end + 10), cd_size = Le32(b, end + 12), at = Le32(b, end + 16);
  if (at + cd_size != end) info.problem = "central directory does not end at the end record";
  for (size_t i = 0; i < count && info.problem.empty(); ++i) {
    if (at + kCentralSize > end || Le32(b, at) != 0x02014b50) {
      info.problem = "bad central entry";
      break;
    }
    ZipEntryInfo e{b.substr(at + kCentralSize, Le16(b, at + 28)), Le16(b, at + 8), Le16(b, at + 10),
                   Le32(b, at + 12), Le32(b, at + 16), Le32(b, at + 20), Le32(b, at + 24)};
    size_t local = Le32(b, at + 42);
    if (local + kLocalSize > b.size() || Le32(b, local) != 0x04034b50 ||
        Le16(b, local + 6) != e.flags || Le16(b, local + 8) != e.method ||
        Le32(b, local + 10) != e.dos_time || Le32(b, local + 14) != e.crc ||
        Le32(b, local + 18) != e.packed || Le32(b, local + 22) != e.size ||
        b.substr(local + kLocalSize, Le16(b, local + 26)) != e.name) {
      info.problem = "local header differs from central entry " + e.name;
    }
    info.entries.push_back(e);
    at += kCentralSize + e.name.size() + Le16(b, at + 30) + Le16(b, at + 32);
  }
  return info;
}

inline uint32_t Crc32(const std::string& data) {
  uint32_t crc = 0xFFFFFFFFu;
  for (unsigned char c : data) {
    crc ^= c;
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

// The zip engine built beside the test program.
inline std::string BuiltZipEngine() {
#ifdef _WIN32
  std::filesystem::path program = std::filesystem::absolute(__argv[0]);
  return (program.parent_path() / "ZIPDLL.DLL").string();
#else
  return (std::filesystem::read_symlink("/proc/self/exe").parent_path() / "libzipdll.so").string();
#endif
}

#ifndef _WIN32
// Python's zipfile verifies every CRC and yields the entry's bytes, which
// must equal `content`; unzip -t tests the archive on its own.
inline bool StandardReadersAgree(const std::string& archive, const std::string& name,
                                 const std::string& content) {
  // The system's interpreter starts faster than a version manager's shim.
  std::error_code ec;
  std::string interpreter = std::filesystem::exists("/usr/bin/python3", ec) ? "/usr/bin/python3" : "python3";
  std::string out = archive + ".out";
  std::string python =
      interpreter + " -c 'import sys, zipfile\n"
      "z = zipfile.ZipFile(sys.argv[1])\n"
      "assert z.testzip() is None\n"
      "sys.stdout.buffer.write(z.read(sys.argv[2]))' '" +
      archive + "' '" + name + "' > '" + out + "'";
  bool python_ok = std::system(python.c_str()) == 0 && ReadFile(out) == content;
  std::remove(out.c_str());
  std::string unzip = "unzip -tqq '" + archive + "' > /dev/null 2>&1";
  return python_ok && std::system(unzip.c_str()) == 0;
}
#endif

}  // namespace quorbel::test
