// A file that fills the disk: opened for writing in place of the real one,
// it takes a given number of bytes and then fails as a full disk does.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

namespace quorbel::test {

// Writes reach `path` for `room` bytes and fail after that. With glibc the
// bytes before the failure are really written; elsewhere the file is made
// and every write to it fails.
std::FILE* DiskFullAfter(const std::string& path, size_t room);

}  // namespace quorbel::test
