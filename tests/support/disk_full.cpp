#include "support/disk_full.h"

#include <algorithm>
#include <cerrno>

#include "support/test_support.h"

namespace quorbel::test {

#if defined(__GLIBC__)
namespace {

// The real file and the bytes it still takes.
struct Room {
  std::FILE* real;
  size_t left;
};

ssize_t RoomWrite(void* cookie, const char* data, size_t size) {
  auto* room = static_cast<Room*>(cookie);
  const size_t n = std::min(size, room->left);
  std::fwrite(data, 1, n, room->real);
  room->left -= n;
  if (n == size) return ssize_t(n);
  errno = ENOSPC;
  return n > 0 ? ssize_t(n) : -1;
}

int RoomClose(void* cookie) {
  auto* room = static_cast<Room*>(cookie);
  const int result = std::fclose(room->real);
  delete room;
  return result;
}

}  // namespace
#endif

std::FILE* DiskFullAfter(const std::string& path, size_t room) {
#if defined(__GLIBC__)
  std::FILE* real = std::fopen(path.c_str(), "wb");
  if (real == nullptr) return nullptr;
  cookie_io_functions_t io{nullptr, &RoomWrite, nullptr, &RoomClose};
  return fopencookie(new Room{real, room}, "wb", io);
#else
  // Elsewhere: the file is made, and every write to it fails.
  (void)room;
  WriteFile(path, "");
  return std::fopen(path.c_str(), "rb");
#endif
}

}  // namespace quorbel::test
