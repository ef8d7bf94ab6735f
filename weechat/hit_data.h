// The download counts the library's chart is made from: one line per file,
// "NAME COUNT" CR LF, NAME with a colon for each blank. The plug-in adds
// one for every file it has sent; counts the user keeps by hand stay.
#pragma once

#include <string>
#include <string_view>

namespace serve {

// `text` (the file as it is, or "") with one more download of the file
// `name`; every line ends in CR LF and empty lines are dropped.
std::string AddHit(std::string_view text, std::string_view name);

// The lines of a chart as they may go out: CR, LF, NUL and CTCP's 0x01
// split or dropped, IRC's colour codes kept.
std::string ChartLineText(std::string_view line);

}  // namespace serve
