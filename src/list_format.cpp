// The list file's layout.
#include "list_format.h"

#include <algorithm>
#include <cmath>

#include "engine_text.h"
#include "media_text.h"
#include "quorbel_oob.h"
#include "shared_names.h"

namespace quorbel::listformat {

namespace {

constexpr std::string_view kWeekdays[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr std::string_view kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

constexpr std::string_view kPrefaceRuleStart = "-=-=- [ Preface ] ";
constexpr int kPrefaceRulePairs = 41;

// File lines are padded to one width when the method names a single item,
// to a narrower one when more items follow the size.
constexpr size_t kPadWidthSingleItem = 75;
constexpr size_t kPadWidth = 65;
constexpr std::string_view kInfoMark = " ::INFO:: ";

constexpr int64_t kMegabyte = 1048576;
constexpr int64_t kGigabyte = 1073741824;
constexpr int64_t kSmallestShownSize = 102400;  // smaller sizes show as "0.1MB"
constexpr std::string_view kZeroSize = "0.0MB";
constexpr std::string_view kTinySize = "0.1MB";

constexpr char kSizeLetter = 's';
constexpr char kBitrateLetter = 'b';
constexpr char kChannelModeLetter = 'q';
constexpr char kTimeLetter = 't';

std::string Generator() { return "ZOQ Brivane v" + std::string(kListGeneratorVersion); }

std::string LibraryBanner() {
  return Generator() + " and quorbel.dll v" + std::string(kVersion);
}

std::string TwoDigits(int value) {
  return (value >= 0 && value < 10 ? "0" : "") + std::to_string(value);
}

bool Has(const std::string& method, char letter) {
  return method.find(letter) != std::string::npos;
}

std::string_view Unit(int64_t unit) { return unit == kGigabyte ? "GB" : "MB"; }

// Whole units and the truncated tenth of a non-negative byte count.
struct Scaled {
  int64_t whole;
  int64_t tenth;
  int64_t unit;
};

Scaled Scale(int64_t bytes) {
  const int64_t unit = bytes > kGigabyte ? kGigabyte : kMegabyte;
  return {bytes / unit, (bytes % unit) * 10 / unit, unit};
}

bool AsksForTag(const std::string& method) {
  return std::any_of(std::begin(mediatext::kTagFields), std::end(mediatext::kTagFields),
                     [&](const mediatext::TagField& field) { return Has(method, field.letter); });
}

}  // namespace

std::string ListBaseName(const std::string& nick, const LocalTime& time) {
  return nick + "[" + TwoDigits(time.month) + "-" + TwoDigits(time.day) + "-" +
         TwoDigits(time.year % 100) + "]";
}

// Zeller's congruence, shifted so that 0 is Sunday.
int Weekday(int year, int month, int day) {
  if (month < 3) {
    month += 12;
    --year;
  }
  const int k = year % 100, j = year / 100;
  const int h = (day + 13 * (month + 1) / 5 + k + k / 4 + j / 4 + 5 * j) % 7;  // 0 = Saturday
  return (h + 6) % 7;
}

// The time stands unpadded ("9:5:3"), unlike the list's name: fixed output.
Lines HeaderLines(const std::string& nick, const std::string& standard_file,
                  const LocalTime& t) {
  const std::string weekday(kWeekdays[Weekday(t.year, t.month, t.day)]);
  const std::string month(kMonths[(t.month + 11) % 12]);
  const std::string updated = "Last Updated on " + weekday + " " + month + " " +
                              std::to_string(t.day) + " " + std::to_string(t.hour) + ":" +
                              std::to_string(t.minute) + ":" + std::to_string(t.second) + " " +
                              std::to_string(t.year) + " by " + LibraryBanner();
  return {"",
          "\t\t -{( List of " + nick + "'s Multi-Media Music filez )}-",
          "",
          updated,
          "\t\t\t " + std::string(kWeb),
          "",
          std::string(kRule),
          "",
          "To grab a file from me, type !Mynick Exact_Filename or copy/paste a corresponding "
          "line in Channel",
          "",
          "e.g., !" + nick + " " + standard_file,
          ""};
}

Lines PrefaceLines(const std::vector<std::string>& preface, std::string_view indent) {
  if (preface.empty()) return {};
  std::string rule(kPrefaceRuleStart);
  for (int i = 0; i < kPrefaceRulePairs; ++i) rule += "-=";
  rule += "-";
  Lines lines{rule, ""};
  for (const std::string& line : preface) lines.push_back(std::string(indent) + line);
  lines.push_back("");
  return lines;
}

Lines HeaderEndLines() { return {std::string(kRule), ""}; }

Lines DirectoryHeaderLines(const std::string& directory) {
  return {"", "-----[ " + directory + " ]-----", ""};
}

std::string DirectoryOf(const std::string& path) {
  const size_t delim = path.rfind(kPathDelim);
  return delim == std::string::npos ? std::string() : path.substr(0, delim + 1);
}

std::string FileNameOf(const std::string& path) {
  const size_t delim = path.rfind(kPathDelim);
  return delim == std::string::npos ? path : path.substr(delim + 1);
}

// The line's pieces are appended to one string (no piece built apart):
// this runs for every file of a list.
std::string FileLineStart(const std::string& nick, const std::string& file_name,
                          const std::string& method) {
  std::string line;
  line.reserve(kPadWidthSingleItem + kInfoMark.size() + 96);
  line += '!';
  line += nick;
  line += ' ';
  line += TZOQ_Quorbel::Squeeze(file_name);
  const size_t width = method.size() == 1 ? kPadWidthSingleItem : kPadWidth;
  if (line.size() < width) line.append(width - line.size(), kNbsp);
  line += kInfoMark;
  return line;
}

bool ShowsSize(const std::string& method) { return Has(method, kSizeLetter); }

bool WantsMediaItems(const std::string& path, const std::string& method) {
  const bool mpeg = path.ends_with(".mp3") || path.ends_with(".mp2");
  return mpeg && method != std::string(1, kSizeLetter);
}

std::string HeaderItems(const std::string& method, const Tmp3info& info) {
  if (!info.Valid) return {};
  std::string items;
  if (Has(method, kBitrateLetter)) (items += ' ') += mediatext::BitrateText(info);
  if (Has(method, kChannelModeLetter)) (items += ' ') += info.ChannelMode;
  if (Has(method, kTimeLetter)) (items += ' ') += mediatext::PlayingTimeText(info.Length);
  return items;
}

std::string TagItems(const std::string& method, const TId3v1& tag) {
  if (!tag.Present || !AsksForTag(method)) return {};
  std::string items(" ");
  items += mediatext::kTagMark;
  for (const mediatext::TagField& field : mediatext::kTagFields) {
    if (Has(method, field.letter)) (items += ' ') += mediatext::TagFieldText(field, tag);
  }
  return items;
}

std::string SizeText(int64_t size) {
  if (size == 0) return std::string(kZeroSize);
  if (size < kSmallestShownSize) return std::string(kTinySize);
  const Scaled s = Scale(size);
  std::string text = std::to_string(s.whole);
  if (s.tenth != 0) (text += '.') += char('0' + s.tenth);  // a tenth is one digit
  text += Unit(s.unit);
  return text;
}

std::string TotalText(long double total) {
  if (total == 0) return std::string(kZeroSize);
  if (total < kSmallestShownSize) return std::string(kTinySize);
  const Scaled s = Scale(int64_t(std::trunc(total)));
  return std::to_string(s.whole) + "." + std::to_string(s.tenth) + std::string(Unit(s.unit));
}

Lines FooterLines(int32_t count, long double total) {
  return {"",
          std::string(kRule),
          "",
          names::kListTotalStart + std::to_string(count) + names::kListTotalFiles + TotalText(total) +
              " - Generated by " + LibraryBanner() + " (" + std::string(kWeb) + ")",
          ""};
}

Lines EmptyListTailLines() {
  return {std::string(kRule), "", std::string(kRule), "",
          std::string(names::kListTotalStart) + "0" + names::kListTotalFiles +
              "0 MB - Generated by " + Generator() + " (" + std::string(kWeb) + ")"};
}

}  // namespace quorbel::listformat
