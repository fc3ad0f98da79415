#include <gtest/gtest.h>

#include <fstream>

#include "common/fwupdater/csrec.h"
#include "tests/testsupport/firmwaretext.h"
#include "tests/testsupport/testfiles.h"

using namespace orv;

namespace {

// Record bytes are a function of their address, so every merged segment can be checked byte by byte.
// The merge rows cover the list order: a record goes to the first segment in the list that it touches.
std::vector<uint8_t> Pattern(uint32_t address_I, size_t length_I)
{
  std::vector<uint8_t> data(length_I);
  for (size_t i = 0; i < length_I; ++i) data[i] = static_cast<uint8_t>((address_I + i) * 7);
  return data;
}

std::string SLine(char type_I, uint32_t address_I, size_t length_I, int checksumDelta_I = 0)
{
  return test::SRecordLine(type_I, address_I, Pattern(address_I, length_I), checksumDelta_I);
}

std::string S1(uint32_t address_I, size_t length_I) { return SLine('1', address_I, length_I); }
const std::string kTermination = "S9030000FC\n";

using SSpan = std::pair<uint32_t, size_t>;

std::vector<SSpan> Spans(const std::vector<SRecSegment>& segments_I)
{
  std::vector<SSpan> spans;
  for (const SRecSegment& segment : segments_I) {
    EXPECT_EQ(segment.data, Pattern(segment.start, segment.data.size())) << segment.start;
    spans.emplace_back(segment.start, segment.data.size());
  }
  return spans;
}

}  // namespace

TEST(CSRec, ClassifiesByTheTextAfterTheLastDot)
{
  test::CScratchDir dir;
  const std::string srec = S1(0x1000, 4) + kTermination;
  for (const auto& [name, contents, format, loads] : std::vector<std::tuple<std::string, std::string, int32_t, bool>>{
           {"FW.PEN", srec, EDATASOURCE_PEN, true}, {"a.touch", srec, EDATASOURCE_TOUCH, true},
           {"b.Orv", srec, EDATASOURCE_ORV, true},
           {"c.hex", ":0100000000FF\r\n", EDATASOURCE_HEX, false},  // Intel HEX that starts below 0x8000
           {"d.airoflash", "\x01", EDATASOURCE_AIROFLASH, true}, {"image.bin", "\x01", EDATASOURCE_BIN, true},
           {"firmware", srec, EDATASOURCE_NONE, false}, {"dir.pen/firmware", srec, EDATASOURCE_NONE, false},
           {"fw.pen.txt", srec, EDATASOURCE_NONE, false}, {"", "", EDATASOURCE_NONE, false}}) {
    test::CDebugCapture capture;
    CSRec file;
    EXPECT_EQ(file.Load(name.empty() ? name : dir.Write(name, contents)), loads) << name;
    EXPECT_EQ(file.GetFormat(), format) << name;
    EXPECT_EQ(capture.CountAsserts("\"unrecognized file format\""), format == EDATASOURCE_NONE ? 1u : 0u) << name;
    EXPECT_EQ(capture.CountAsserts("\"firmware file not specified\""), name.empty() ? 1u : 0u) << name;
  }
}

TEST(CSRec, MergesRecordsIntoSortedSegments)
{
  const std::vector<SSpan> fails;
  for (const auto& [text, spans] : std::vector<std::pair<std::string, std::vector<SSpan>>>{
           {S1(0x1010, 16) + S1(0x1000, 16), {{0x1000, 32}}},
           {S1(0x2000, 16) + S1(0x1000, 16) + S1(0x1004, 8), {{0x1000, 16}, {0x2000, 16}}},
           // A record that starts inside a segment keeps the loaded bytes but adds its tail.
           {S1(0x2000, 16) + S1(0x1000, 16) + S1(0x1008, 16), {{0x1000, 24}, {0x2000, 16}}},
           {S1(0x1000, 16) + S1(0x0FF8, 16), fails},
           {S1(0x1000, 16) + S1(0x1020, 16) + S1(0x1010, 32), fails},
           {S1(0x1010, 16) + S1(0x1000, 0) + S1(0x1000, 16), fails},
           {S1(0x1000, 0) + S1(0x1010, 16) + S1(0x1000, 16), {{0x1000, 16}, {0x1010, 16}}},
           {S1(0x1000, 16) + S1(0x1020, 16) + S1(0x1010, 16) + S1(0x1020, 16), fails},
           {S1(0x1010, 0) + S1(0x1000, 16), {{0x1000, 16}}},
           {S1(0x1020, 16) + S1(0x1000, 16) + S1(0x1010, 16) + S1(0x1020, 16), {{0x1000, 16}, {0x1010, 32}}},
           {"S0030000FC\n" + S1(0x3000, 0) + S1(0x1000, 2) + "S9030000FC\n", {{0x1000, 2}, {0x3000, 0}}},
           {SLine('3', 0x89ABCDEF, 5) + SLine('2', 0x123456, 3), {{0x123456, 3}, {0x89ABCDEF, 5}}},
           {SLine('3', 0xFFFFFFF0, 16), {{0xFFFFFFF0, 16}}},
           {SLine('3', 0xFFFFFFF0, 32), fails},
           {"S0030000FC\nS9030000FC\n", fails},
           // Records that carry no byte at all leave nothing to program: no image.
           {S1(0x1000, 0) + S1(0x2000, 0), fails}}) {
    test::CScratchDir dir;
    CSRec file;
    EXPECT_EQ(file.Load(dir.Write("fw.orv", text + kTermination)), !spans.empty()) << text;
    EXPECT_EQ(Spans(file.GetSegments()), spans) << text;
  }
}

TEST(CSRec, AnyMalformedLineFailsTheWholeLoadAndSaysWhy)
{
  test::CScratchDir dir;
  const std::string good = S1(0x1000, 4);
  std::string crlf = good + "\r\n\r\n" + S1(0x1004, 2) + "S5030002FA\r\n" + kTermination;
  crlf.replace(crlf.find('\n'), 1, "\r\n");
  const std::string lowerCase = "S10510041c23a7\n";  // S1(0x1004, 2) in lower case
  // An editor's UTF-8 byte order mark is not part of the first record.
  const std::string marked = "\xEF\xBB\xBF" + good + S1(0x1004, 2) + kTermination;
  for (const std::string& text : {crlf, good + "; a comment line is skipped\n\n" + lowerCase + "S804000000FB\n", marked}) {
    CSRec file;
    EXPECT_TRUE(file.Load(dir.Write("ok.pen", text))) << text;
    EXPECT_EQ(Spans(file.GetSegments()), (std::vector<SSpan>{{0x1000, 6}}));
    EXPECT_EQ(file.GetError(), "");
  }
  // The bad line comes second, after one good record.
  for (const auto& [bad, reason] : std::vector<std::pair<std::string, std::string>>{
           {SLine('1', 0x2000, 2, 1), "line 2: checksum 0xD4, expected 0xD3"},
           {SLine('1', 0x2000, 2, -1), "line 2: checksum 0xD2, expected 0xD3"},
           {"S1020000FD\n", "line 2: byte count 0x02 is below 3"},
           {"S1050000G10009\n", "line 2: 'G' at column 9 is not a hexadecimal digit"},
           {"S105000001 009\n", "line 2: ' ' at column 11 is not a hexadecimal digit"},
           {"S1040000010EC\n", "line 2: odd number of hexadecimal digits"},
           {"S1030000\n", "line 2: a record of 8 characters is too short (at least 10)"},
           {"S4030000FC\n", "line 2: unknown record type S4"},
           {"S3050000FA\n", "line 2: the record ends early"},
           {"short\n", "line 2: a record of 5 characters is too short (at least 10)"},
           {"S5030002FA\n", "line 2: record count 2, but 1 data records precede it"},
           {S1(0x0FF8, 16), "line 2: data at 0x00000FF8 overlaps data loaded before"},
           {SLine('3', 0xFFFFFFF0, 32), "line 2: the record's data runs past address 0xFFFFFFFF"},
           {kTermination + S1(0x3000, 4), "line 3: data record after the termination record"}}) {
    CSRec file;
    ASSERT_TRUE(file.Load(dir.Write("fw.pen", good + kTermination)));
    EXPECT_FALSE(file.Load(dir.Write("fw.pen", good + bad + S1(0x3000, 4) + kTermination))) << bad;
    EXPECT_TRUE(file.GetSegments().empty()) << bad;
    EXPECT_EQ(file.GetError(), reason) << bad;
  }
}

// A download cut short loses its termination record and its count; such a file never loads, however whole its
// lines are. A count that ends the file stands for the termination record only when it matches.
TEST(CSRec, AFileWithoutItsTerminationRecordOrFinalCountIsRefused)
{
  test::CScratchDir dir;
  const std::string counted = "S0030000FC\n" + S1(0x1000, 16) + S1(0x1010, 16) + "S5030002FA\n";
  CSRec file;
  ASSERT_TRUE(file.Load(dir.Write("fw.orv", counted + kTermination)));
  ASSERT_TRUE(file.Load(dir.Write("fw.orv", counted)));
  EXPECT_EQ(Spans(file.GetSegments()), (std::vector<SSpan>{{0x1000, 32}}));
  for (size_t cut = counted.find('\n', counted.find('\n') + 1) + 1; cut < counted.size(); cut = counted.find('\n', cut) + 1) {
    EXPECT_FALSE(file.Load(dir.Write("fw.orv", counted.substr(0, cut)))) << cut;
    EXPECT_TRUE(file.GetSegments().empty());
    EXPECT_EQ(file.GetError(), "no termination record (S7, S8 or S9) or final record count (S5, S6): the file is "
                               "incomplete");
  }
  // Data after a count is not counted: the file lost its own final count.
  for (const auto& [path, error] : std::vector<std::pair<std::string, std::string>>{
           {dir.Write("a.orv", counted + S1(0x1020, 16)),
            "no termination record (S7, S8 or S9) or final record count (S5, S6): the file is incomplete"},
           {dir.Write("b.orv", S1(0x1000, 16) + S1(0x1010, 16) + "S5030001FB\n"),
            "line 3: record count 1, but 2 data records precede it"},
           {dir.Write("c.orv", "S0030000FC\n" + kTermination), "no data records"},
           {(dir.Path() / "missing.orv").string(), "no such file"},
           {dir.Write("sub.pen/fw.orv", ""), "the file is empty"}}) {
    EXPECT_FALSE(file.Load(path)) << error;
    EXPECT_EQ(file.GetError(), error);
  }
  EXPECT_FALSE(file.Load(dir.Path().string() + "/.pen"));
}

// srec_cat writes no termination record when it has no start address: its count record ends the file.
TEST(CSRec, LoadsTheFilesSrecCatWrites)
{
  const std::string text = "Orvel pen board 1.01 test image: the quick brown fox jumps over the lazy dog 0123456789";
  const std::vector<uint8_t> image(text.begin(), text.end());
  for (const auto& [name, start] : std::vector<std::pair<std::string, uint32_t>>{
           {"s1-count.orv", 0x1000}, {"s3-count.orv", 0x08000000}, {"s1-count-start.orv", 0x1000}}) {
    CSRec file;
    ASSERT_TRUE(file.Load((test::SourceDir() / "tests" / "data" / "srec_cat" / name).string())) << file.GetError();
    ASSERT_EQ(file.GetSegments().size(), 1u) << name;
    EXPECT_EQ(file.GetSegments()[0].start, start) << name;
    EXPECT_EQ(file.GetSegments()[0].data, image) << name;
    EXPECT_EQ(file.GetHeader(), "http://srecord.sourceforge.net/") << name;
  }
  // Past 65535 data records srec_cat counts in 24 bits (S6).
  std::string large;
  for (uint32_t address = 0x10000; address < 0x10000 + 70000; ++address) large += SLine('2', address, 1);
  test::CScratchDir dir;
  CSRec file;
  ASSERT_TRUE(file.Load(dir.Write("large.orv", large + "S60401117079\n"))) << file.GetError();
  EXPECT_EQ(Spans(file.GetSegments()), (std::vector<SSpan>{{0x10000, 70000}}));
  EXPECT_FALSE(file.Load(dir.Write("large.orv", large + "S50311707B\n")));
  EXPECT_EQ(file.GetError(), "line 70001: record count 4464, but 70000 data records precede it");
}

TEST(CSRec, TheHeaderNamesTheFilesVersion)
{
  test::CScratchDir dir;
  for (const auto& [text, version] : std::vector<std::pair<std::string, std::string>>{
           {"Orvel Display 16 pen 1.02", "1.02"}, {"pen v2.10.3", "2.10.3"}, {"Orvel pen", ""}, {"pen 12", ""},
           {"pen 1.", ""}}) {
    CSRec file;
    const std::string header = test::SRecordLine('0', 0, {text.begin(), text.end()});
    ASSERT_TRUE(file.Load(dir.Write("fw.pen", header + S1(0x1000, 4) + kTermination))) << file.GetError();
    EXPECT_EQ(file.GetHeader(), text);
    EXPECT_EQ(file.GetHeaderVersion(), version) << text;
    EXPECT_EQ(file.GetImageSize(), 4u);
  }
}

TEST(CSRec, ResetHandsOutFreshImagesAndPathsAreUtf8)
{
  test::CScratchDir dir;
  const std::filesystem::path path = dir.Path() / u8"f\u00EFrmware.airoflash";
  std::ofstream(path, std::ios::binary) << "\x01\x02";
  const std::u8string utf8 = path.u8string();
  CSRec file;
  ASSERT_TRUE(file.Load(std::string(utf8.begin(), utf8.end())));
  EXPECT_FALSE(file.Load(dir.Write("bad.pen", "S1030000FD\n" + kTermination)));
  const std::shared_ptr<CBinaryAiroFlash> old = file.GetAiroFlash();
  file.Reset();
  EXPECT_EQ(file.GetPath(), "");
  EXPECT_EQ(file.GetAiroFlash()->GetStartAddress(), -1);
  EXPECT_EQ(old->GetSize(), 2u);  // neither the S-record load nor the reset touched it
  EXPECT_TRUE(file.Load(dir.Write("c.bin", "\x05")));
  EXPECT_EQ(file.GetScaler()->GetSize(), 1u);
}
