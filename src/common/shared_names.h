// Names that the library, the command-line host and the WeeChat plug-in
// all use: the files in the list folder, the shape of a find reply and the
// configuration key of the nick. Written once here, so that the three
// cannot drift apart.
#pragma once

#include <cstddef>

namespace quorbel::names {

// A list's files: its base name (NICK[MM-DD-YY]) and one of these.
inline constexpr const char* kListSuffix = "-mm.txt";
inline constexpr const char* kIndexSuffix = "-mm.idx";
inline constexpr const char* kZipSuffix = "-mm.zip";
// The list's last line tells its totals: the start, the number of files,
// then this, the total size ("7.0MB") and " - ".
inline constexpr const char* kListTotalStart = "End of List - Total ";
inline constexpr const char* kListTotalFiles = " filez - ";

// The hit data the serving script keeps, and the chart made from it.
inline constexpr const char* kHitDataFile = "ZOQHitData.hdt";
inline constexpr const char* kChartFile = "ZOQChart.hdt";

// A find reply: entries end with SEP (list_text.h); at most this many are
// sent, and the second buffer holds only this byte when one was cut off.
inline constexpr size_t kFindEntriesSent = 5;
inline constexpr char kFindCutMark = char(0xF5);
// The reply code of a find or search that found nothing.
inline constexpr int kNothingFoundCode = 516;

// The key of [listmake] that names the list's owner.
inline constexpr const char* kNickKey = "nick";

}  // namespace quorbel::names
