// ID3v2 texts: the parser on bytes, the reader's option, the configuration
// key and what the list and ZOQ_GetMPEGInfo show with it.
#include "media_id3v2.h"

#include <algorithm>

#include "mp3info.h"
#include "support/generate_tree.h"
#include "support/mp3_fixtures.h"
#include "support/test_support.h"

namespace quorbel::test {

namespace {

constexpr uint8_t kLatin1 = 0, kUtf16 = 1, kUtf16Be = 2, kUtf8 = 3;
constexpr uint8_t kUnsyncTag = 0x80, kExtendedHeader = 0x40;
constexpr uint8_t kV23Compressed = 0x80, kV24Unsync = 0x02, kV24DataLength = 0x01;

// A text frame's content: the encoding byte and the encoded text.
std::string Text(uint8_t encoding, const std::string& encoded) {
  return char(encoding) + encoded;
}

// UTF-16 code units, little- or big-endian, from ASCII and explicit units.
std::string Utf16(const std::u16string& text, bool big_endian) {
  std::string out;
  for (char16_t u : text) {
    char hi = char(u >> 8), lo = char(u & 0xFF);
    out += big_endian ? std::string{hi, lo} : std::string{lo, hi};
  }
  return out;
}

std::optional<id3v2::Text> Parse(const std::string& tag) {
  return id3v2::ReadText(
      std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(tag.data()), tag.size()));
}

// Every FF followed by a zero byte or a byte of three set top bits gets a
// zero after it, as a writer's unsynchronisation does.
std::string Unsynchronise(const std::string& bytes) {
  std::string out;
  for (size_t i = 0; i < bytes.size(); ++i) {
    out += bytes[i];
    bool next_needs_it = i + 1 == bytes.size() || bytes[i + 1] == '\0' ||
                         (uint8_t(bytes[i + 1]) & 0xE0) == 0xE0;
    if (uint8_t(bytes[i]) == 0xFF && next_needs_it) out += '\0';
  }
  return out;
}

}  // namespace

TEST(Id3v2TextTest, EncodingsBecomeTheSingleByteCodePage) {
  const std::string bom_le = "\xFF\xFE", bom_be = "\xFE\xFF";
  struct Case {
    const char* what;
    int major;
    std::string content;
    std::string title;
  } cases[] = {
      {"ISO-8859-1 bytes stand", 3, Text(kLatin1, "Caf\xE9 \x80"), "Caf\xE9 \x80"},
      {"UTF-16 little-endian", 3, Text(kUtf16, bom_le + Utf16(u"Caf\u00E9 \u20AC", false)),
       "Caf\xE9 \x80"},
      {"UTF-16 big-endian by BOM", 3, Text(kUtf16, bom_be + Utf16(u"\u0152uvre", true)),
       "\x8Cuvre"},
      {"UTF-16BE without BOM", 4, Text(kUtf16Be, Utf16(u"Ab\u2019c", true)), "Ab\x92" "c"},
      {"UTF-8", 4, Text(kUtf8, "\xC5\xBB\xC3\xB3\xC5\x82w \xE2\x80\x93 ok"), "?\xF3?w \x96 ok"},
      {"UTF-8 with a stray byte", 4, Text(kUtf8, "a\xC3(b\x80"), "a?(b?"},
      {"surrogate pair is one character", 3,
       Text(kUtf16, bom_le + Utf16(u"x\xD83D\xDE00y", false)), "x?y"},
      {"C1 controls are not in the code page", 4, Text(kUtf8, "a\xC2\x81z"), "a?z"},
      {"text ends at its terminator", 3, Text(kUtf16, bom_le + Utf16(std::u16string(u"One\0Two", 7), false)),
       "One"},
      {"second value of a list", 4, Text(kLatin1, std::string("One\0Two", 7)), "One"},
      {"blanks and controls", 3, Text(kLatin1, "  Two\r\nlines\t "), "Two  lines"},
      {"cut to 150", 3, Text(kLatin1, std::string(400, 'x')), std::string(150, 'x')},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto text = Parse(Id3v2Tag(c.major, Id3v2Frame(c.major, "TIT2", c.content)));
    ASSERT_TRUE(text);
    EXPECT_EQ(text->title, c.title);
  }
}

TEST(Id3v2TextTest, FieldsOfEachVersion) {
  auto frames = [](int major) {
    const bool v22 = major == 2;
    auto f = [&](const char* id22, const char* id, const std::string& content) {
      return Id3v2Frame(major, v22 ? id22 : id, content);
    };
    return f("TT2", "TIT2", Text(kLatin1, "Title")) + f("TP1", "TPE1", Text(kLatin1, "Artist")) +
           f("TAL", "TALB", Text(kLatin1, "Album")) +
           f("TYE", major == 4 ? "TDRC" : "TYER", Text(kLatin1, "2004-05-06")) +
           f("TCO", "TCON", Text(kLatin1, "(17)")) + f("TRK", "TRCK", Text(kLatin1, "5/12")) +
           f("COM", "COMM", Text(kLatin1, std::string("eng\0Nice", 8)));
  };
  for (int major : {2, 3, 4}) {
    SCOPED_TRACE(major);
    auto text = Parse(Id3v2Tag(major, frames(major) + std::string(300, '\0')));  // padding
    ASSERT_TRUE(text);
    EXPECT_EQ(text->version, "ID3v2." + std::to_string(major));
    EXPECT_EQ(text->title, "Title");
    EXPECT_EQ(text->artist, "Artist");
    EXPECT_EQ(text->album, "Album");
    EXPECT_EQ(text->year, "2004");
    EXPECT_EQ(text->genre, "Rock");
    EXPECT_EQ(text->track, 5);
    EXPECT_EQ(text->comment, "Nice");
  }
}

TEST(Id3v2TextTest, GenresTracksAndComments) {
  struct Genre {
    const char* text;
    const char* name;
  } genres[] = {{"(17)", "Rock"},          {"17", "Rock"},     {"(17)Rock", "Rock"},
                {"(0)", "Blues"},          {"(200)", "Nothing"}, {"Synthpop", "Synthpop"},
                {"(17", "(17"},            {"1234", "1234"},   {"", ""}};
  for (const Genre& g : genres) {
    auto text = Parse(Id3v2Tag(3, Id3v2Frame(3, "TCON", Text(kLatin1, g.text))));
    ASSERT_TRUE(text) << g.text;
    EXPECT_EQ(text->genre, g.name) << g.text;
  }
  struct Track {
    const char* text;
    int track;
  } tracks[] = {{"5/12", 5}, {"07", 7}, {"255", 255}, {"300", 0}, {"x", 0}};
  for (const Track& t : tracks) {
    auto text = Parse(Id3v2Tag(4, Id3v2Frame(4, "TRCK", Text(kLatin1, t.text))));
    ASSERT_TRUE(text) << t.text;
    EXPECT_EQ(text->track, t.track) << t.text;
  }
  // The comment without a description wins; iTunes' data is never taken.
  auto comment = [](const std::string& description, const std::string& value) {
    return Id3v2Frame(3, "COMM", Text(kLatin1, "eng" + description + '\0' + value));
  };
  struct Comments {
    std::string frames;
    const char* comment;
  } comments[] = {
      {comment("iTunNORM", " 0000 1111") + comment("", "Mine"), "Mine"},
      {comment("Other", "Described") + comment("", "Mine"), "Mine"},
      {comment("", "First") + comment("", "Second"), "First"},
      {comment("Other", "Described") + comment("iTunSMPB", "x"), "Described"},
      {comment("iTunNORM", " 0000 1111") + Id3v2Frame(3, "TIT2", Text(kLatin1, "T")), ""},
  };
  for (const Comments& c : comments) {
    auto text = Parse(Id3v2Tag(3, c.frames));
    ASSERT_TRUE(text);
    EXPECT_EQ(text->comment, c.comment);
  }
  // UTF-16 description and text, each with its own byte-order mark.
  std::string utf16 = "eng" + Utf16(std::u16string(u"\uFEFF\0\uFEFFHi", 5), false);
  auto text = Parse(Id3v2Tag(3, Id3v2Frame(3, "COMM", Text(kUtf16, utf16))));
  ASSERT_TRUE(text);
  EXPECT_EQ(text->comment, "Hi");
}

TEST(Id3v2TextTest, UnsynchronisationAndExtendedHeaders) {
  // "\xFF\xE9" in a title: written unsynchronised it reads FF 00 E9.
  const std::string title = Text(kLatin1, "A\xFF\xE9Z\xFF");
  const std::string want = "A\xFF\xE9Z\xFF";
  const std::string v23_frames = Id3v2Frame(3, "TIT2", title) + Id3v2Frame(3, "TPE1", Text(kLatin1, "Me"));
  // 2.4: the frame flag, with a data length indicator before the data.
  const std::string v24_data = Unsynchronise(title);
  const std::string v24_frame = Id3v2Frame(4, "TIT2", std::string("\0\0\0\x07", 4) + v24_data,
                                           kV24Unsync | kV24DataLength);
  struct Case {
    const char* what;
    std::string tag;
  } cases[] = {
      {"2.3 unsynchronised tag", Id3v2Tag(3, Unsynchronise(v23_frames), kUnsyncTag)},
      {"2.2 unsynchronised tag",
       Id3v2Tag(2, Unsynchronise(Id3v2Frame(2, "TT2", title)), kUnsyncTag)},
      {"2.4 unsynchronised frame", Id3v2Tag(4, v24_frame)},
      {"2.4 tag flag, frames without their own",
       Id3v2Tag(4, Id3v2Frame(4, "TIT2", v24_data), kUnsyncTag)},
      // 2.3 counts the extended header's bytes after its size field.
      {"2.3 extended header",
       Id3v2Tag(3, std::string("\0\0\0\x06", 4) + std::string(6, '\x01') + v23_frames,
                kExtendedHeader)},
      // 2.4 counts the whole extended header, syncsafe.
      {"2.4 extended header",
       Id3v2Tag(4, std::string("\0\0\0\x06\x01\x00", 6) + Id3v2Frame(4, "TIT2", title),
                kExtendedHeader)},
      {"2.3 extended header, unsynchronised",
       Id3v2Tag(3,
                Unsynchronise(std::string("\0\0\0\x06", 4) + std::string(6, '\xFF') + v23_frames),
                kUnsyncTag | kExtendedHeader)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto text = Parse(c.tag);
    ASSERT_TRUE(text);
    EXPECT_EQ(text->title, want);
  }
}

TEST(Id3v2TextTest, DamagedAndUnreadableTags) {
  const std::string title = Id3v2Frame(3, "TIT2", Text(kLatin1, "Title"));
  std::string v24_plain_size = Id3v2Frame(4, "TIT2", Text(kLatin1, std::string(200, 't')));
  v24_plain_size[4] = 0, v24_plain_size[5] = 0, v24_plain_size[6] = 0;
  v24_plain_size[7] = char(201);  // a writer that forgot the syncsafe sizes
  struct Case {
    const char* what;
    std::string tag;
    std::optional<std::string> title;
  } cases[] = {
      {"no text frames", Id3v2Tag(3, Id3v2Frame(3, "APIC", "x")), std::nullopt},
      {"empty tag", Id3v2Tag(3, ""), std::nullopt},
      {"version 2.5", Id3v2Tag(5, title), std::nullopt},
      {"2.2 compressed tag", Id3v2Tag(2, Id3v2Frame(2, "TT2", Text(kLatin1, "T")), 0x40),
       std::nullopt},
      {"not a tag", "ID4" + Id3v2Tag(3, title).substr(3), std::nullopt},
      {"unknown encoding", Id3v2Tag(3, Id3v2Frame(3, "TIT2", Text(9, "T"))), std::nullopt},
      {"compressed frame is passed over",
       Id3v2Tag(3, Id3v2Frame(3, "TIT2", "zzzz", kV23Compressed) + title), "Title"},
      {"frame larger than the tag",
       Id3v2Tag(3, title + std::string("TPE1\0\0\x01\0\0\0x", 11)), "Title"},
      {"garbage ends the walk", Id3v2Tag(3, title + "\x01\x02junk" + title), "Title"},
      {"extended header larger than the tag",
       Id3v2Tag(3, std::string("\0\0\x10\x00", 4) + title, kExtendedHeader), std::nullopt},
      {"2.4 frame size that is not syncsafe", Id3v2Tag(4, v24_plain_size), std::string(150, 't')},
      {"tag cut short", Id3v2Tag(3, title + title).substr(0, 10 + title.size() + 5), "Title"},
      {"size claims more than given", Id3v2Tag(3, title + std::string(1000, 'x')).substr(0, 40),
       "Title"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto text = Parse(c.tag);
    ASSERT_EQ(text.has_value(), c.title.has_value());
    if (text) {
      EXPECT_EQ(text->title, *c.title);
    }
  }
}

// ---- the reader's option ---------------------------------------------------------

namespace {

class ReaderId3v2Test : public ::testing::Test {
 protected:
  bool Read(const std::string& content) {
    WriteFile(path_, content);
    mp3_.SetFileName(path_);
    return mp3_.ReadInformation();
  }
  TempDir dir_;
  std::string path_ = dir_ / "song.mp3";
  TMP3Information mp3_;
};

std::string TaggedId3v2(const std::string& extra = "") {
  return Id3v2Tag(3, Id3v2Frame(3, "TIT2", Text(kLatin1, "V2 Title")) +
                         Id3v2Frame(3, "TPE1", Text(kLatin1, "V2 Artist")) + extra);
}

}  // namespace

TEST_F(ReaderId3v2Test, OffByDefaultAndV1FirstWhenOn) {
  Id3v1 v1;
  v1.title = "V1 Title";
  const std::string v2_only = MpegFile(100000, FrameHeader{}, std::nullopt, TaggedId3v2());
  const std::string both = MpegFile(100000, FrameHeader{}, v1, TaggedId3v2());
  EXPECT_FALSE(mp3_.ReadId3v2);
  ASSERT_TRUE(Read(v2_only));
  EXPECT_FALSE(mp3_.Tag.Present);

  mp3_.ReadId3v2 = true;
  ASSERT_TRUE(Read(both));
  EXPECT_EQ(mp3_.Tag.TagVersion, "ID3v1.1");
  EXPECT_EQ(mp3_.Tag.Title, "V1 Title");
  ASSERT_TRUE(Read(v2_only));
  ASSERT_TRUE(mp3_.Tag.Present);
  EXPECT_EQ(mp3_.Tag.TagVersion, "ID3v2.3");
  EXPECT_EQ(mp3_.Tag.Title, "V2 Title");
  EXPECT_EQ(mp3_.Tag.Artist, "V2 Artist");
  // Every field is the new file's: nothing of the ID3v1 tag before stays.
  EXPECT_EQ(mp3_.Tag.Genre, "");
  EXPECT_EQ(mp3_.Tag.Track, 0);
  EXPECT_EQ(mp3_.Tag.Comment, "");
  EXPECT_TRUE(mp3_.Info.Valid);
}

TEST_F(ReaderId3v2Test, WhereTheTagIsAndIsNot) {
  mp3_.ReadId3v2 = true;
  const std::string picture = Id3v2Frame(3, "APIC", std::string(300000, '\xFF'));
  struct Case {
    const char* what;
    std::string content;
    bool header_option;
    bool result, present;
  } cases[] = {
      // Beyond the first blocks of the header search: read anew.
      {"text behind a large picture",
       MpegFile(500000, FrameHeader{}, std::nullopt, TaggedId3v2(picture)), true, true, true},
      {"without the header search",
       MpegFile(100000, FrameHeader{}, std::nullopt, TaggedId3v2()), false, true, true},
      {"tag claims more than the file holds",
       TaggedId3v2().substr(0, 6) + "\x7F\x7F\x7F\x7F" + TaggedId3v2().substr(10), false, false,
       false},
      {"no leading tag", MpegFile(100000, FrameHeader{}), true, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    mp3_.ReadHeader = c.header_option;
    mp3_.Tag.Present = false;
    EXPECT_EQ(Read(c.content), c.result);
    EXPECT_EQ(mp3_.Tag.Present, c.present);
    if (c.present) {
      EXPECT_EQ(mp3_.Tag.Title, "V2 Title");
    }
  }
}

// ---- configuration, list and reply -------------------------------------------------

class Id3v2SettingTest : public GenerateTest {};

bool HasLine(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

TEST_F(Id3v2SettingTest, KeyIsReadFromListmakeOnly) {
  struct Case {
    const char* more;
    bool on;
  } cases[] = {{"", false}, {"id3v2=1\r\n", true}, {"id3v2=0\r\n", false},
               {"ID3V2=1\r\n", true}, {"id3v2=yes\r\n", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.more);
    IniSettings ini;
    ini.more_listmake = c.more;
    Configure(ini);
    EXPECT_EQ(engine().fid3v2, c.on);
  }
}

TEST_F(Id3v2SettingTest, ListLinesShowTheTextsWhenAsked) {
  const std::string v2 = Id3v2Tag(
      4, Id3v2Frame(4, "TPE1", Text(kUtf8, "Bj\xC3\xB6rk")) +
             Id3v2Frame(4, "TIT2", Text(kUtf16Be, Utf16(u"J\u00F3ga", true))) +
             Id3v2Frame(4, "TCON", Text(kLatin1, "(13)")));
  // 128 kbit/s: 4 s of audio behind the tag.
  WriteFile(MusicFile("v2.mp3"), MpegFile(int64_t(v2.size()) + 64000, FrameHeader{}, {}, v2));
  const std::string start = "!Bob v2.mp3" + std::string(54, '\xA0') + " ::INFO:: 0.1MB 128/44 [04s]";
  IniSettings ini;
  ini.method = "sbtaig";
  Configure(ini);
  ASSERT_EQ(Generate(), "200 OK __ZOQ_StartGenerate__");
  EXPECT_TRUE(HasLine(ReadLines(ListFile()), start));

  ini.more_listmake = "id3v2=1\r\n";
  Configure(ini);
  ASSERT_EQ(Generate(), "200 OK __ZOQ_StartGenerate__");
  EXPECT_TRUE(HasLine(ReadLines(ListFile()),
                       start + " ::ID3:: (A:Bj\xF6rk) (T:J\xF3ga) (G:Pop)"));
}

TEST_F(Id3v2SettingTest, MpegInfoReplyFollowsTheKeyAndStaysInTheBuffer) {
  const std::string S(1, '\xFF');
  const std::string long_text = Text(kLatin1, std::string(1000, 'w'));
  std::string frames;
  for (const char* id : {"TPE1", "TIT2", "TALB", "TCON"}) frames += Id3v2Frame(3, id, long_text);
  frames += Id3v2Frame(3, "COMM", Text(kLatin1, std::string("eng\0", 4) + std::string(1000, 'w')));
  const std::string path = MusicFile("long.mp3");
  const std::string tag = Id3v2Tag(3, frames);
  WriteFile(path, MpegFile(int64_t(tag.size()) + 20 * 16000, FrameHeader{}, std::nullopt, tag));

  Configure();
  const std::string plain = "201 OK-DATA 128/44" + S + "Joint stereo" + S + "[20s]";
  EXPECT_EQ(Call(ZOQ_GetMPEGInfo, path), plain + " __ZOQ_GetMPEGInfo__");

  IniSettings ini;
  ini.more_listmake = "id3v2=1\r\n";
  Configure(ini);
  const std::string w(150, 'w');
  const std::string reply = plain + S + "::ID3::" + S + "(A:" + w + ")" + S + "(T:" + w + ")" + S +
                            "(Ab:" + w + ")" + S + "(G:" + w + ")" + S + "(C:" + w + ")" +
                            " __ZOQ_GetMPEGInfo__";
  EXPECT_LE(reply.size(), 900u);
  EXPECT_EQ(Call(ZOQ_GetMPEGInfo, path), reply);
}

}  // namespace quorbel::test
