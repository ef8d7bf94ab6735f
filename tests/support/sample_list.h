// The sample list's reference header: nick "Bob", the default
// example file, Wednesday 19 June 2002 at 9:05:03, no preface.
#pragma once

#include <string>
#include <vector>

#include "engine_text.h"

namespace quorbel::test {

inline std::vector<std::string> SampleListHeader() {
  return {
      "",
      "\t\t -{( List of Bob's Multi-Media Music filez )}-",
      "",
      "Last Updated on Wed Jun 19 9:5:3 2002 by ZOQ Brivane v8.6 and quorbel.dll v0.7.8",
      "\t\t\t " + std::string(kWeb),
      "",
      std::string(kRule),
      "",
      "To grab a file from me, type !Mynick Exact_Filename or copy/paste a corresponding line in "
      "Channel",
      "",
      "e.g., !Bob (artist_name)-title_of_song.mp3",
      "",
  };
}

}  // namespace quorbel::test
