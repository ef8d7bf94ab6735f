#include "sample/sample_trees.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>

#include "sample/mpeg_builder.h"

namespace fs = std::filesystem;

namespace quorbel::sample {

namespace {

// Header codes of MPEG 1 Layer III.
constexpr int kLayer3Kbits[] = {32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
constexpr int kMpeg1Hertz[] = {44100, 48000, 32000};
constexpr int kStereo = 0, kJointStereo = 1, kDualChannel = 2, kSingleChannel = 3;
constexpr int kGenreJazz = 8, kGenrePop = 13, kGenreRock = 17, kGenreClassical = 32,
              kGenreElectronic = 52;

template <size_t n>
int IndexOf(const int (&values)[n], int value) {
  for (size_t i = 0; i < n; ++i) {
    if (values[i] == value) return int(i);
  }
  return -1;
}

FrameHeader Layer3Header(int kbits, int hertz, int channel_mode) {
  FrameHeader header;
  header.bitrate_index = IndexOf(kLayer3Kbits, kbits) + 1;  // index 0 is the free bitrate
  header.sample_rate_index = IndexOf(kMpeg1Hertz, hertz);
  header.channel_mode = channel_mode;
  return header;
}

bool WriteSong(const fs::path& path, const std::string& head, const std::string& tail,
               int64_t size) {
  std::error_code error;
  fs::create_directories(path.parent_path(), error);
  return !error && WriteSparseFile(path.string(), head, tail, size);
}

// ---- the demo's tree -----------------------------------------------------

struct DemoSong {
  const char* path;
  int seconds, kbits, hertz, channel_mode;
  std::optional<Id3v1> tag;
  int id3v2_bytes;  // zero bytes in a leading ID3v2 tag; 0 for none
};

Id3v1 MakeTag(const char* title, const char* artist, const char* album, const char* year,
              int genre) {
  Id3v1 tag;
  tag.title = title;
  tag.artist = artist;
  tag.album = album;
  tag.year = year;
  tag.genre = uint8_t(genre);
  return tag;
}

const DemoSong kDemoSongs[] = {
    {"Rock/Classics/The Riffs - Open Road.mp3", 245, 192, 44100, kJointStereo,
     MakeTag("Open Road", "The Riffs", "Highway", "1998", kGenreRock), 0},
    {"Rock/Classics/The Riffs - Night  Drive.mp3", 301, 128, 44100, kJointStereo,
     MakeTag("Night Drive", "The Riffs", "Highway", "1998", kGenreRock), 4096},
    {"Rock/Live/Stone Hall - Encore (live).mp3", 412, 320, 48000, kStereo,
     MakeTag("Encore", "Stone Hall", "Live at the Hall", "2001", kGenreRock), 0},
    {"Pop/Sunny Days - Summer Song.mp3", 198, 160, 44100, kJointStereo,
     MakeTag("Summer Song", "Sunny Days", "", "2002", kGenrePop), 65536},
    {"Pop/Sunny Days - Winter  Song.mp3", 220, 128, 44100, kStereo, std::nullopt, 0},
    {"Jazz  Corner/Blue Notes - Late Hour.mp3", 367, 256, 44100, kJointStereo,
     MakeTag("Late Hour", "Blue Notes", "After Midnight", "1995", kGenreJazz), 0},
    {"Jazz  Corner/Old Radio Show.mp2", 95, 64, 32000, kSingleChannel, std::nullopt, 0},
    {"Classical/Orchestra - Adagio.mp3", 530, 96, 48000, kDualChannel,
     MakeTag("Adagio", "Orchestra", "Quiet Pieces", "1989", kGenreClassical), 0},
    {"Electronic/Pulse - Variable.mp3", 240, 48, 44100, kJointStereo,
     MakeTag("Variable", "Pulse", "", "2000", kGenreElectronic), 0},
};

constexpr int kBytesPerKbit = 125;  // a second at one kbit/s
constexpr const char* kDemoPicture = "Pop/cover.jpg";
constexpr const char* kDemoPictureBytes = "\xFF\xD8\xFF\xE0 not listed: not a configured extension";

bool WriteDemoSong(const fs::path& root, const DemoSong& song) {
  const std::string padding(size_t(song.id3v2_bytes), '\0');
  std::string head = song.id3v2_bytes ? Id3v2Tag(3, padding) : "";
  head += HeaderBytes(Layer3Header(song.kbits, song.hertz, song.channel_mode));
  const std::string tail = song.tag ? Id3v1Bytes(*song.tag) : "";
  const int64_t size = int64_t(song.seconds) * song.kbits * kBytesPerKbit;
  return WriteSong(root / song.path, head, tail, size);
}

// ---- the benchmarks' trees -----------------------------------------------

constexpr int kPercent = 100;

bool Chance(std::mt19937& rng, int percent) { return int(rng() % kPercent) < percent; }

// A text frame of ID3v2.3 in ISO-8859-1, and one in UTF-16 with its text
// after the byte-order mark FF FE.
std::string Latin1TextFrame(const std::string& id, const std::string& text) {
  return Id3v2Frame(3, id, std::string(1, '\0') + text);
}

std::string Utf16TextFrame(const std::string& id, const std::string& ascii) {
  std::string text = std::string("\x01\xFF\xFE", 3);
  for (char c : ascii) text += std::string{c, '\0'};
  return Id3v2Frame(3, id, text);
}

// A picture frame: no text encoding, the MIME type, "front cover" and an
// empty description, then the image.
std::string PictureFrame(const std::string& image) {
  return Id3v2Frame(3, "APIC", std::string("\0image/jpeg\0\x03\0", 14) + image);
}

constexpr int kSongsPerAlbum = 20;
constexpr int kAlbumsPerArtist = 5;
constexpr int kAlbumId3v2Percent = 40;
constexpr int kAlbumPicturePercent = 10;  // of the songs with an ID3v2 tag
constexpr int kId3v1Percent = 80;
constexpr int kGenreAlbum = kGenreRock;
constexpr int64_t kAlbumMinSize = 2 << 20, kAlbumMaxSize = 10 << 20;
constexpr size_t kTaggerPadding = 1024;

// Random bytes behind a JPEG start.
std::string AlbumCover(std::mt19937& rng) {
  std::string image = "\xFF\xD8\xFF\xE0";
  image.resize(100000 + rng() % 500000);
  for (size_t i = 4; i < image.size(); ++i) image[i] = char(rng());
  return image;
}

std::string AlbumId3v2(std::mt19937& rng, const std::string& title, bool cover) {
  std::string frames = Latin1TextFrame("TIT2", title) + Latin1TextFrame("TPE1", "Bench Artist") +
                       Latin1TextFrame("TALB", "Bench Album");
  if (cover) frames += PictureFrame(AlbumCover(rng));
  return Id3v2Tag(3, frames + std::string(kTaggerPadding, '\0'));
}

// 128, 160, 192 or 320 kbit/s, stereo or joint stereo.
FrameHeader AlbumHeader(std::mt19937& rng) {
  static constexpr int kBitrateIndices[] = {9, 10, 11, 14};
  FrameHeader header;
  header.bitrate_index = kBitrateIndices[rng() % 4];
  header.channel_mode = rng() % 2 ? kJointStereo : kStereo;
  return header;
}

bool WriteAlbumSong(const fs::path& root, int i, std::mt19937& rng) {
  const int album = i / kSongsPerAlbum;
  const fs::path dir = root / ("Artist " + std::to_string(album / kAlbumsPerArtist)) /
                       ("Album " + std::to_string(album % kAlbumsPerArtist));
  const std::string title = "Title " + std::to_string(i);
  std::string head;
  if (Chance(rng, kAlbumId3v2Percent)) {
    const bool cover = Chance(rng, kAlbumPicturePercent);
    head = AlbumId3v2(rng, title, cover);
  }
  head += HeaderBytes(AlbumHeader(rng));
  std::string tail;
  if (Chance(rng, kId3v1Percent)) {
    tail = Id3v1Bytes(MakeTag(title.c_str(), "Bench Artist", "Bench Album", "", kGenreAlbum));
  }
  const int64_t size = kAlbumMinSize + int64_t(rng() % uint32_t(kAlbumMaxSize - kAlbumMinSize));
  const std::string name = std::to_string(i % kSongsPerAlbum + 1) + " - " + title + ".mp3";
  return WriteSong(dir / name, head, tail, size);
}

constexpr int kReaderFilesPerFolder = 200;
constexpr int kReaderId3v2Percent = 40;
constexpr int kReaderPicturePercent = 15;  // of the files with an ID3v2 tag: 6% of all
constexpr int kReaderFramesWritten = 8;    // the rest of the audio is a hole
constexpr int kGenreCount = 148;
constexpr int kArtists = 97;

FrameHeader RandomHeader(std::mt19937& rng) {
  static constexpr int kVersionCodes[] = {0, 2, 3, 3, 3, 3};  // mostly MPEG 1
  FrameHeader h;
  h.version_code = kVersionCodes[rng() % 6];
  h.layer_code = rng() % 4 == 0 ? int(1 + rng() % 3) : 1;  // mostly Layer III
  h.bitrate_index = int(1 + rng() % 14);
  h.sample_rate_index = int(rng() % 3);
  h.channel_mode = int(rng() % 4);
  h.padding_bit = int(rng() % 2);
  return h;
}

std::string RandomPicture(std::mt19937& rng) {
  std::string image(100000 + rng() % 700000, '\0');
  for (char& byte : image) byte = char(rng() & 0xFF);
  return image;
}

std::string ReaderId3v2(std::mt19937& rng, int i) {
  std::string frames = Utf16TextFrame("TIT2", "Title " + std::to_string(i)) +
                       Utf16TextFrame("TPE1", "Artist " + std::to_string(i % kArtists));
  if (Chance(rng, kReaderPicturePercent)) frames += PictureFrame(RandomPicture(rng));
  return Id3v2Bytes(frames + std::string(rng() % 2048, '\0'));
}

bool WriteReaderFile(const fs::path& root, int i, std::mt19937& rng) {
  std::string head = Chance(rng, kReaderId3v2Percent) ? ReaderId3v2(rng, i) : "";
  head += Frames(RandomHeader(rng), kReaderFramesWritten);
  std::string tail;
  if (Chance(rng, kId3v1Percent)) {
    Id3v1 tag;
    tag.title = "Song " + std::to_string(i);
    tag.artist = "Artist " + std::to_string(i % kArtists);
    tag.genre = uint8_t(rng() % kGenreCount);
    tail = Id3v1Bytes(tag);
  }
  const int64_t size = int64_t(head.size() + tail.size()) + 2000000 + int64_t(rng() % 6000000);
  const fs::path folder = root / ("d" + std::to_string(i / kReaderFilesPerFolder));
  return WriteSong(folder / ("song" + std::to_string(i) + ".mp3"), head, tail, size);
}

constexpr int kNameSongsPerAlbum = 12;
constexpr int kNameAlbumsPerArtist = 4;
constexpr int kNameOtherFileEvery = 10;  // a cover or text file per ten songs
const char* const kNameWords[] = {"Love",  "night", "Dream", "fire",  "Heart", "rain",   "summer",
                                  "Blue",  "road",  "Home",  "angel", "dance", "Shadow", "light",
                                  "River", "city",  "gold",  "Wild",  "time",  "star",   "ocean"};

bool Touch(const fs::path& path) { return WriteSparseFile(path.string(), "x", "", 1); }

// One album of the name tree, from song `made` on; false when a file cannot
// be written.
bool WriteNameAlbum(const fs::path& dir, int songs, int* made, std::mt19937& rng) {
  std::error_code error;
  fs::create_directories(dir, error);
  for (int song = 0; song < songs; ++song, ++*made) {
    const std::string name = std::to_string(song) + " - " + RandomWords(rng, kNameWords, 3);
    if (!Touch(dir / (name + ".mp3"))) return false;
    if (*made % kNameOtherFileEvery == 0 &&
        !Touch(dir / ("cover" + std::to_string(song) + ".jpg"))) {
      return false;
    }
  }
  return !error;
}

constexpr int kStreamFrames = 20;

// The stream of header `h`, the `n`th made: mode extension and padding vary
// with n.
std::string Stream(FrameHeader h, int n) {
  h.mode_extension = n % 4;
  h.padding_bit = n % 5 == 0;
  std::string data = n % 3 == 0 ? Id3v2Bytes(Utf16TextFrame("TIT2", "x")) : "";
  data += Frames(h, kStreamFrames);
  if (n % 2 == 0) data += Id3v1Bytes({});
  return data;
}

// ---- the lookup benchmarks' list ------------------------------------------

constexpr unsigned kListSeed = 5;
constexpr char kListNick[] = "Bench";
constexpr int kListMaxWords = 4;          // words in an artist's name and in a title
constexpr size_t kListNameColumns = 70;   // NBSP pad each "!nick name" up to here
const char* const kListWords[] = {"love",  "night", "dream", "fire",  "heart", "rain",  "summer",
                                  "blue",  "road",  "home",  "angel", "dance", "shadow", "light",
                                  "river", "city",  "gold",  "wild",  "time",  "star",   "ocean"};

// Every song's list line and index line; gives the first song's name.
std::string WriteListLines(std::FILE* list, std::FILE* index, int lines) {
  std::mt19937 rng(kListSeed);
  std::uniform_int_distribution<int> length(1, kListMaxWords);
  std::fprintf(list, "Song list of %s: type @%s to get it\r\n\r\n", kListNick, kListNick);
  std::string first;
  for (int i = 0; i < lines; ++i) {
    const std::string artist = RandomWords(rng, kListWords, length(rng));
    const std::string name = artist + " - " + RandomWords(rng, kListWords, length(rng)) + ".mp3";
    if (i == 0) first = name;
    std::string line = "!" + std::string(kListNick) + " " + name;
    line.append(line.size() < kListNameColumns ? kListNameColumns - line.size() : 1, '\xA0');
    std::fprintf(list, "%s4.2MB 192kbps 44kHz Stereo 3:41\r\n", line.c_str());
    std::fprintf(index, "%s\xFF/music/%s/\r\n", name.c_str(), artist.c_str());
  }
  std::fprintf(list, "\r\nTotal: %d files\r\n", lines);
  return first;
}

std::FILE* OpenToWrite(const fs::path& path) { return std::fopen(path.string().c_str(), "wb"); }

// Closes a file opened by OpenToWrite; false when it was not open or a write failed.
bool Close(std::FILE* file) {
  if (file == nullptr) return false;
  const bool written = !std::ferror(file);
  return std::fclose(file) == 0 && written;
}

}  // namespace

bool MakeDemoTree(const std::string& dir) {
  const fs::path root(dir);
  for (const DemoSong& song : kDemoSongs) {
    if (!WriteDemoSong(root, song)) return false;
  }
  const std::string picture(kDemoPictureBytes);
  return WriteSong(root / kDemoPicture, picture, "", int64_t(picture.size()));
}

bool MakeAlbumTree(const std::string& dir, int count) {
  std::mt19937 rng(20020619);
  for (int i = 0; i < count; ++i) {
    if (!WriteAlbumSong(dir, i, rng)) return false;
  }
  return true;
}

bool MakeReaderTree(const std::string& dir, int count) {
  std::mt19937 rng(20240501);
  for (int i = 0; i < count; ++i) {
    if (!WriteReaderFile(dir, i, rng)) return false;
  }
  return true;
}

int MakeNameTree(const std::string& dir, int count) {
  std::mt19937 rng(7);
  int made = 0;
  for (int artist = 0; made < count; ++artist) {
    const fs::path artist_dir =
        fs::path(dir) / (std::to_string(artist) + " " + RandomWords(rng, kNameWords, 2));
    for (int album = 0; album < kNameAlbumsPerArtist && made < count; ++album) {
      const fs::path album_dir =
          artist_dir / (RandomWords(rng, kNameWords, 2) + " " + std::to_string(album));
      const int songs = std::min(kNameSongsPerAlbum, count - made);
      if (!WriteNameAlbum(album_dir, songs, &made, rng)) return -1;
    }
  }
  return (made + kNameOtherFileEvery - 1) / kNameOtherFileEvery;
}

std::optional<std::string> WriteSampleList(const std::string& dir, int lines) {
  const fs::path root(dir);
  std::error_code error;
  fs::create_directories(root, error);
  const std::string name = kSampleListName;
  std::FILE* list = OpenToWrite(root / (name + "-mm.txt"));
  std::FILE* index = OpenToWrite(root / (name + "-mm.idx"));
  std::string first;
  if (list != nullptr && index != nullptr) first = WriteListLines(list, index, lines);
  const bool list_closed = Close(list);  // both closed, whatever failed
  const bool index_closed = Close(index);
  const bool lists_written = list_closed && index_closed;
  std::FILE* ini = OpenToWrite(root / kSampleListIni);
  if (ini != nullptr) {
    std::fprintf(ini, "[listmake]\r\nnick=%s\r\nname=%s\r\n", kListNick, kSampleListName);
  }
  if (!lists_written || !Close(ini)) return std::nullopt;
  return first;
}

std::string RandomWords(std::mt19937& rng, std::span<const char* const> words, int count) {
  std::uniform_int_distribution<size_t> pick(0, words.size() - 1);
  std::string text;
  for (int i = 0; i < count; ++i) text += (i ? " " : "") + std::string(words[pick(rng)]);
  return text;
}

int MakeStreams(const std::string& dir) {
  int n = 0;
  for (int version : {0, 2, 3})
    for (int layer : {1, 2, 3})
      for (int bitrate = 1; bitrate <= 14; ++bitrate)
        for (int rate = 0; rate < 3; ++rate)
          for (int mode = 0; mode < 4; ++mode) {
            const std::string data = Stream(HeaderOf(version, layer, bitrate, rate, mode), n);
            const fs::path path = fs::path(dir) / ("s" + std::to_string(n++) + ".mp3");
            if (!WriteSong(path, data, "", int64_t(data.size()) + 1)) return -1;
          }
  return n;
}

}  // namespace quorbel::sample
