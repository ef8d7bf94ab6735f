// A directory listing of entries gathered beforehand, for Envs that serve
// folders from memory.
#pragma once

#include <utility>
#include <vector>

#include "platform/env.h"

namespace quorbel::test {

class VectorListing : public DirListing {
 public:
  explicit VectorListing(std::vector<DirEntry> entries) : entries_(std::move(entries)) {}
  bool Next(DirEntry* entry) override {
    if (next_ == entries_.size()) return false;
    *entry = entries_[next_++];
    return true;
  }

 private:
  std::vector<DirEntry> entries_;
  size_t next_ = 0;
};

}  // namespace quorbel::test
