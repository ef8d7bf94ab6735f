// The zip component: the slice of it that packs the list file, driving the
// external zip engine (ZIPDLL.DLL / libzipdll.so) loaded at run time.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/env.h"

namespace quorbel {

class TZipMaster {
 public:
  explicit TZipMaster(Env& env) : env_(env) {}
  ~TZipMaster();

  // Raised by a stop request; the progress callback then asks the engine
  // to abort. Every Add lowers it first.
  bool Cancel = false;

  // Unloads the zip engine library if it is loaded.
  void Unload();

 private:
  Env& env_;
  std::unique_ptr<DynamicLibrary> engine_;
};

}  // namespace quorbel
