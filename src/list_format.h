// The list file's layout: its name from the date, the header, the preface,
// the directory header blocks, the file lines, the size texts, the footer
// and the empty list. Pure text building; the generation run writes the
// pieces in order, one line at a time.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "list_text.h"
#include "mp3info.h"
#include "platform/env.h"

namespace quorbel::listformat {

using Lines = std::vector<std::string>;

// "Bob[06-19-02]": the nick and the run's date, the list's base name.
std::string ListBaseName(const std::string& nick, const LocalTime& time);

// Day of the week of a calendar date, 0 = Sunday.
int Weekday(int year, int month, int day);

// Lines 1 to 12 of every list: title, date banner, request instructions.
Lines HeaderLines(const std::string& nick, const std::string& standard_file,
                  const LocalTime& time);

// The preface block (empty when there is no preface line). The full list
// indents each line with TAB and a blank, the empty list with three blanks.
inline constexpr std::string_view kPrefaceIndent = "\t ";
inline constexpr std::string_view kEmptyListPrefaceIndent = "   ";
Lines PrefaceLines(const std::vector<std::string>& preface, std::string_view indent);

// The rule and the empty line that close the header.
Lines HeaderEndLines();

// The block written before the first file of each directory.
Lines DirectoryHeaderLines(const std::string& directory);

// The path up to and including its last delimiter, and the rest.
std::string DirectoryOf(const std::string& path);
std::string FileNameOf(const std::string& path);

// "!" + nick + " " + the squeezed file name, padded with NBSP to the width
// the item letters ask for, then " ::INFO:: ".
std::string FileLineStart(const std::string& nick, const std::string& file_name,
                          const std::string& method);

// True when the line shows the file's size ("s").
bool ShowsSize(const std::string& method);

// True when the MPEG and tag items are looked for at all: an ".mp3" or
// ".mp2" path (exact case) and more than the bare size letter.
bool WantsMediaItems(const std::string& path, const std::string& method);

// " 128/44 Joint stereo [4m28s]" as far as the letters b, q, t ask for.
std::string HeaderItems(const std::string& method, const Tmp3info& info);

// " ::ID3:: (A:...) (T:...)" as far as the letters a, i, m, g, c ask for;
// empty when the method asks for none of them.
std::string TagItems(const std::string& method, const TId3v1& tag);

// "4.1MB", "3MB", "1GB": one file's size.
std::string SizeText(int64_t size);

// "7.1MB", "3.0MB": the footer's total, which always shows the tenth.
std::string TotalText(long double total);

// The lines after the last file line, for `count` files of `total` bytes.
Lines FooterLines(int32_t count, long double total);

// The lines after the header of a list without files (no preface; the
// caller writes the header and the preface first).
Lines EmptyListTailLines();

// --- bad file names --------------------------------------------------------
// True when an ordering line holds two blanks in a row (NBSP does not count).
using ::quorbel::HasDoubleBlank;
// The bad-file entry of a path: every pair of blanks, from the left and not
// overlapping, becomes two NBSP bytes.
std::string BadFileEntry(const std::string& path);

}  // namespace quorbel::listformat
