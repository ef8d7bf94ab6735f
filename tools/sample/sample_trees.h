// Music trees made of sample MPEG files, one kind for each use: the demo's
// small tree, the album tree of the generation benchmarks, the reader
// benchmark's mixed tree, a stream of every header kind and the walk's
// tree of names; and the lookup benchmarks' list with its index. Files are
// sparse between their head and their tag; a tree or list is the same, byte
// for byte, on every run (the random choices come from fixed seeds).
#pragma once

#include <optional>
#include <random>
#include <span>
#include <string>

namespace quorbel::sample {

// Nine songs in nested folders, of several bitrates, sample rates and
// channel modes, most with an ID3v1 tag, some behind an ID3v2 tag, a few
// names and a folder with double blanks; and a picture that no list
// shows. False when a file cannot be written.
bool MakeDemoTree(const std::string& dir);

// `count` songs of 2 to 10 MB, twenty to an "Artist N/Album M" folder: 80%
// with an ID3v1 tag, 40% behind an ID3v2 tag with text frames, a tenth of
// those with a large cover picture.
bool MakeAlbumTree(const std::string& dir, int count);

// `count` files of 2 to 8 MB, two hundred to a folder, with random valid
// headers of every version and layer: 80% with an ID3v1 tag, 40% behind an
// ID3v2 tag of UTF-16 texts, 15% of those with a large picture of random
// bytes (false syncs included).
bool MakeReaderTree(const std::string& dir, int count);

// One decodable stream of twenty frames for every valid version, layer,
// bitrate, sample rate and channel mode; a third behind an ID3v2 tag, half
// with an ID3v1 tag. Gives the number of files, or -1 when one cannot be
// written.
int MakeStreams(const std::string& dir);

// `count` songs of one byte, named from random words, twelve to an
// "N Words/Words M" folder, and a cover or text file for every tenth song:
// names in mixed case for the walk and the sort. Gives the number of files
// besides the songs, or -1 when one cannot be written.
int MakeNameTree(const std::string& dir, int count);

// The lookup benchmarks' list (nick "Bench"): its name, the "name=" key
// that picks its files NAME-mm.txt and NAME-mm.idx, and its configuration.
inline constexpr char kSampleListName[] = "bench";
inline constexpr char kSampleListIni[] = "bench.ini";

// Writes a list of `lines` songs named from random words and its index, as
// the generation run writes them, and the configuration that serves them
// ([listmake] nick and name). Gives the first song's file name (the list's
// first line; empty for no lines), or nullopt when a file cannot be written.
std::optional<std::string> WriteSampleList(const std::string& dir, int lines);

// `count` words picked from `words` at random, separated by blanks.
std::string RandomWords(std::mt19937& rng, std::span<const char* const> words, int count);

}  // namespace quorbel::sample
