#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <tuple>

#include "tests/testsupport/firmwaretext.h"
#include "tests/testsupport/testfiles.h"
#include "tools/orvel-fwtool/cfwtool.h"
#include "tools/orvel-fwtool/sha256.h"

using namespace orv;

namespace {

struct SRun {
  int code = 0;
  std::string out;
  std::string err;
};

SRun RunTool(const std::vector<std::string>& args_I)
{
  std::ostringstream out, err;
  const int code = RunFwTool(args_I, out, err);
  return {code, out.str(), err.str()};
}

SRun Check(const test::CScratchDir& dir_I) { return RunTool({"check", dir_I.Path().string()}); }

std::string Demo(const std::string& name_I = "") { return (test::SourceDir() / "examples" / "demo" / name_I).string(); }

bool Contains(const std::string& text_I, const std::string& part_I) { return text_I.find(part_I) != std::string::npos; }

// The run failed (1) and its errors name every part.
void ExpectFailed(const SRun& run_I, std::initializer_list<std::string> parts_I)
{
  EXPECT_EQ(run_I.code, 1) << run_I.err;
  for (const std::string& part : parts_I) EXPECT_TRUE(Contains(run_I.err, part)) << part << "\n" << run_I.err;
}

// The run failed (1) with exactly these error lines.
void ExpectErrors(const SRun& run_I, const std::string& err_I)
{
  EXPECT_EQ(run_I.code, 1);
  EXPECT_EQ(run_I.err, err_I);
}

std::string S1(uint16_t address_I, const std::vector<uint8_t>& data_I)
{
  return test::SRecordLine('1', address_I, data_I);
}

}  // namespace

TEST(FwTool, UsageOnUnknownCommandsHelpAndVersion)
{
  for (const auto& args : std::vector<std::vector<std::string>>{{}, {"info"}, {"frobnicate", "x"}, {"image", "x"}}) {
    const SRun run = RunTool(args);
    EXPECT_EQ(run.code, 1);
    EXPECT_EQ(run.err.rfind("error: ", 0), 0u) << run.err;
    EXPECT_TRUE(Contains(run.err, "usage: orvel-fwtool"));
  }
  for (const char* help : {"--help", "-h", "help"}) {
    const SRun run = RunTool({help});
    EXPECT_EQ(run.code, 0) << help;
    EXPECT_EQ(run.out.rfind("usage: orvel-fwtool", 0), 0u);
    EXPECT_EQ(run.err, "");
  }
  const SRun run = RunTool({"--version"});
  EXPECT_EQ(run.code, 0);
  EXPECT_EQ(run.out, "orvel-fwtool 3.09\n");
}

TEST(FwTool, InfoDescribesEveryFormat)
{
  for (const auto& [file, info] : std::vector<std::pair<std::string, std::string>>{
           {"tablet_s.pen",
            "format 0 S-record (.pen)\nsegment 0x00008000 length 6144\nsegment 0x0001F000 length 512\n"},
           {"display_touch.hex", "format 3 Intel HEX\nstart 0x00008000 length 3072 checksum 0x04C4\n"},
           {"display_bt.airoflash", "format 4 Airoha binary\nsize 4096\n"},
           {"display_scaler.bin", "format 5 scaler binary\nsize 131072 blocks 2\n"}}) {
    const SRun run = RunTool({"info", Demo(file)});
    EXPECT_EQ(run.code, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out, info);
  }
}

TEST(FwTool, InfoWarnsAboutPartialScalerBlocksAndFailsWithOneLineReasons)
{
  test::CScratchDir dir;
  SRun run = RunTool({"info", dir.Write("odd.bin", std::string(70000, 'x'))});
  EXPECT_EQ(run.code, 0);
  EXPECT_EQ(run.out, "format 5 scaler binary\nsize 70000 blocks 2\n");
  EXPECT_TRUE(Contains(run.err, "warning: Scaler image of 70000 bytes is not a whole number of 64 KiB blocks"));

  const std::string badChecksum = "S1130000000102030405060708090A0B0C0D0E0F00\n";
  for (const auto& [name, contents, reason] : std::vector<std::tuple<std::string, std::string, std::string>>{
           {"bad.pen", badChecksum, "bad.pen: line 1: checksum 0x00, expected 0x74"},
           {"cut.pen", S1(0x1000, {1, 2}), "cut.pen: no termination record (S7, S8 or S9) or final record count (S5, S6): the file is "
                                                "incomplete"},
           {"lf.hex", ":0100000000FF\n", "lf.hex: line 1: CR LF line ends required"},
           {"firmware", "S9030000FC\n", "firmware: unknown file extension"},
           {"empty.bin", "", "empty.bin: the file is empty"},
           {"missing.hex", "", "missing.hex: no such file"}}) {
    const std::string path = name == "missing.hex" ? (dir.Path() / name).string() : dir.Write(name, contents);
    run = RunTool({"info", path});
    EXPECT_EQ(run.code, 1) << name;
    EXPECT_EQ(run.err.rfind("error: " + (dir.Path() / name).string() + ": ", 0), 0u) << run.err;
    EXPECT_TRUE(Contains(run.err, reason)) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
  }
}

// The flat image from the lowest address to the highest, gaps filled with FF.
TEST(FwTool, ImageOfEachFormatSpansItsDataAndFillsTheGaps)
{
  test::CScratchDir dir;
  const std::string out = (dir.Path() / "flat.img").string();
  const std::string gap = dir.Write("gap.orv", S1(0x1000, {1, 2, 3, 4}) + S1(0x1008, {9}) + "S9030000FC\n");
  for (const auto& [source, summary] : std::vector<std::pair<std::string, std::string>>{
           {Demo("display_scaler.bin"), "start 0x00000000 length 131072\n"},
           {Demo("tablet_s.pen"), "start 0x00008000 length 94720\n"},  // 0x8000 to 0x1F200
           {Demo("display_touch.hex"), "start 0x00008000 length 3072\n"},
           {gap, "start 0x00001000 length 9\n"}}) {
    const SRun run = RunTool({"image", source, out});
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.out, summary);
    const std::vector<uint8_t> image = test::ReadBytes(out);
    if (source.ends_with(".bin")) {
      EXPECT_EQ(image, test::ReadBytes(source));
    } else if (source.ends_with(".hex")) {
      ASSERT_EQ(image.size(), 3072u);
      EXPECT_EQ(std::vector<uint8_t>(image.begin() + 3000, image.end()), std::vector<uint8_t>(72, 0xFF));
    }
  }
  EXPECT_EQ(test::ReadBytes(out), (std::vector<uint8_t>{1, 2, 3, 4, 0xFF, 0xFF, 0xFF, 0xFF, 9}));
}

TEST(FwTool, ImageRefusesSegmentsSpreadOverAHugeRangeAndUnwritableOutput)
{
  test::CScratchDir dir;
  const std::string far = S1(0x0000, {1}) + "S306F00000000009\nS9030000FC\n";  // a byte at 0xF0000000
  ExpectFailed(RunTool({"image", dir.Write("far.orv", far), (dir.Path() / "x").string()}), {"span"});

  ExpectFailed(RunTool({"image", Demo("display_bt.airoflash"), (dir.Path() / "no" / "such" / "dir" / "x").string()}),
               {"cannot write"});
}

TEST(FwTool, CheckListsTheDemoPackage)
{
  const SRun run = RunTool({"check", Demo()});
  EXPECT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(run.err, "");
  for (const char* expected : {"3 device model(s)", "model \"Orvel Tablet S\" (pen board entered as loader)",
                               "touch     vid 0x4F52 pid 0x0101 I2C sectors 22",
                               "tablet_s.pen: S-record (.pen), 2 segment(s), 6656 bytes",
                               "scalar    vid 0x5C23 pid 0x1063 FTDI", "display_touch.hex: Intel HEX, 3072 bytes",
                               "display_scaler.bin: scaler binary, 131072 bytes",
                               "autoconfig: auto \"pen,touch,bluetooth,scalar\" product \"0210\"", "package ok"}) {
    EXPECT_TRUE(Contains(run.out, expected)) << expected << "\n" << run.out;
  }
}

TEST(FwTool, CheckNamesEveryFault)
{
  test::CScratchDir dir;
  ExpectErrors(Check(dir), "error: " + (dir.Path() / "fw_loader.ini").string() + ": cannot open the file\n");
  dir.Write("fw_loader.ini", R"({"name":"T"})");
  ExpectFailed(Check(dir), {"fw_loader.ini: no device model could be read (not a list of device models)"});

  dir.Write("fw_loader.ini", R"([{"name":"T","penBoard":{"pid":"10","update":"missing.pen"},
      "touchBoard":{"pid":"11","update":"bad.hex","interface":"i2c"},
      "scalarBoard":{"vid":"5C23","pid":"1063","update":"short.bin"}}])");
  dir.Write("bad.hex", ":10800000\r\n");
  dir.Write("short.bin", std::vector<uint8_t>(0x10000 + 1, 0xA5));
  dir.Write("autoconfig.ini", R"({"auto":"pen,,scaler","product":"10"})");
  ExpectFailed(Check(dir), {"missing.pen: no such file", "bad.hex: line 1: the record ends early",
                            "touchBoard interface: \"i2c\" is not a transport", "\"\" is not one of",
                            "\"scaler\" is not one of",
                            "short.bin: Scaler image of 65537 bytes is not a whole number of 64 KiB blocks"});

  dir.Write("autoconfig.ini", R"({"auto":"pen,bluetooth","product":"99"})");
  ExpectFailed(Check(dir), {"no device model has a board with the product ids \"99\""});
}

TEST(FwTool, CheckGivesTheLineAndColumnOfSettingsFaultsAndTextAfterTheRoot)
{
  test::CScratchDir dir;
  dir.Write("fw_loader.ini", "[\n  {\"name\": \"T\", \"penBoard\" {\"pid\": \"10\"}}\n]\n");
  ExpectFailed(Check(dir), {"fw_loader.ini: line 2, column 28: expected ':' after the key \"penBoard\""});

  dir.Write("fw_loader.ini", "[{\"name\": \"T\", \"penBoard\": {\"pid\": \"10\"}}]\n]\n");
  dir.Write("autoconfig.ini", "{\"auto\": \"pen\",, \"product\": \"10\"}");
  const SRun run = Check(dir);
  ExpectFailed(run, {"fw_loader.ini: line 2, column 1: unexpected text after the closing bracket",
                     "autoconfig.ini: line 1, column 16: a comma with no pair before it"});
  for (size_t line = 0, pos = 0; pos < run.err.size(); pos = run.err.find('\n', pos) + 1, ++line) {
    EXPECT_EQ(run.err.compare(pos, 7, "error: "), 0) << run.err;
  }
}

// A value of the wrong type or out of range is read by the updater as a default or a wrapped number, and the
// update then fails blaming the device: the check names the file, line and column of each.
TEST(FwTool, CheckTypeAndRangeChecksEveryTopologyKeyAndStopsAtTheFirstSyntaxError)
{
  test::CScratchDir dir;
  const std::string topology = (dir.Path() / "fw_loader.ini").string();
  dir.Write("fw_loader.ini", "[{\"name\": \"T\",\n  \"penBoard\": {\"pid\": \"10\", \"sectors\": \"sixty\"},\n"
                             "  \"touchBoard\": {\"pid\": \"11\", \"sectors\": -5, \"topology\": 300}}]\n");
  ExpectErrors(Check(dir),
               "error: " + topology + ": line 2, column 40: \"T\" penBoard sectors: \"sixty\" is not a whole number\n" +
                   "error: " + topology + ": line 3, column 42: \"T\" touchBoard sectors: -5 is out of range (0 to " +
                   "4294967295)\n" + "error: " + topology +
                   ": line 3, column 58: \"T\" touchBoard topology: 300 is out of range (0 to 255)\n");

  // One line of text that is no settings document is one fault.
  dir.Write("fw_loader.ini", "this is not a topology at all\n");
  ExpectErrors(Check(dir), "error: " + topology + ": line 1, column 1: no '{' or '[' starts the document\n");
  // After a syntax error nothing more is told: what follows it was never read.
  dir.Write("fw_loader.ini", "[{\"name\": \"T\" ? \"penBoard\" {}}] trailing");
  const SRun run = Check(dir);
  EXPECT_EQ(run.code, 1);
  EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
  EXPECT_EQ(run.out, "");
}

TEST(FwTool, CheckNamesTheFileLineAndColumnOfAutoConfigFaults)
{
  test::CScratchDir dir;
  dir.Write("fw_loader.ini", R"([{"name":"T","penBoard":{"pid":"10","sectors":16,"update":"fw.pen"}}])");
  dir.Write("fw.pen", S1(0x1000, {1, 2}) + "S9030000FC\n");
  const std::string autoConfig = (dir.Path() / "autoconfig.ini").string();
  dir.Write("autoconfig.ini", "{\n  \"auto\": \"pen,touch,scaler\",\n  \"product\": \"10,zz\"\n}\n");
  ExpectErrors(Check(dir),
               "error: " + autoConfig + ": line 3, column 14: product \"zz\" is not a hexadecimal product id\n" +
                   "error: " + autoConfig + ": line 2, column 11: model \"T\" has no touch update file\n" + "error: " +
                   autoConfig + ": line 2, column 11: \"scaler\" is not one of pen, touch, bluetooth, scalar\n");
  dir.Write("autoconfig.ini", "{\"auto\": [\"pen\"], \"product\": 10}");
  ExpectFailed(Check(dir), {"error: " + autoConfig + ": line 1, column 10: \"auto\" is not text\n",
                            "error: " + autoConfig + ": line 1, column 30: \"product\" is not text\n"});
}

TEST(FwTool, CheckFindsDataOutsideTheDeclaredSectorsAndPrintsEachFilesSha256)
{
  test::CScratchDir dir;
  dir.Write("fw_loader.ini", R"([{"name":"T","penBoard":{"pid":"10","sectors":2,"sectorSize":256,"flashStart":"1000",
      "update":"fw.pen"}}])");
  dir.Write("fw.pen", S1(0x1000, {1, 2}) + S1(0x11FF, {3}) + "S9030000FC\n");
  SRun run = Check(dir);
  EXPECT_EQ(run.code, 0) << run.err;
  EXPECT_TRUE(Contains(run.out, "      sha256 " + Sha256Hex(test::ReadBytes(dir.Path() / "fw.pen")) + "\n")) << run.out;

  dir.Write("fw.pen", S1(0x0FFF, {1, 2}) + S1(0x1200, {3}) + "S9030000FC\n");
  ExpectFailed(Check(dir), {"fw.pen: data at 0x00000FFF to 0x00001000 lies outside the 2 sectors of 256 bytes "
                            "from 0x00001000 that \"T\" penBoard declares",
                            "data at 0x00001200 to 0x00001200 lies outside"});

  const std::string topology = (dir.Path() / "fw_loader.ini").string();
  for (const auto& [fields, reason] : std::vector<std::pair<std::string, std::string>>{
           {R"("sectorSize":"256","flashStart":"1000")", "line 1, column 62: \"T\" penBoard sectorSize: not a whole "
                                                        "number of bytes above 0"},
           {R"("sectorSize":256,"flashStart":"zz")", "line 1, column 79: \"T\" penBoard flashStart: not a "
                                                    "hexadecimal address"}}) {
    dir.Write("fw_loader.ini", R"([{"name":"T","penBoard":{"pid":"10","sectors":2,)" + fields + R"(,"update":"fw.pen"}}])");
    ExpectFailed(Check(dir), {"error: " + topology + ": " + reason + "\n"});
  }
}

// The updater trims the board list before splitting it and refuses any product id above FFFF, even beside one
// that names a model: the check must neither refuse the first nor pass the second.
TEST(FwTool, CheckReadsTheAutoConfigListsAsTheUpdaterDoes)
{
  test::CScratchDir dir;
  dir.Write("fw_loader.ini", R"([{"name":"T","penBoard":{"pid":"10","sectors":16,"update":"fw.pen"}}])");
  dir.Write("fw.pen", S1(0x1000, {1, 2}) + "S9030000FC\n");
  dir.Write("autoconfig.ini", R"({"auto":" pen ","product":"10"})");
  const SRun run = Check(dir);
  EXPECT_EQ(run.code, 0) << run.err;
  dir.Write("autoconfig.ini", R"({"auto":"pen","product":"10,10010"})");
  ExpectFailed(Check(dir), {"product \"10010\" is not a hexadecimal product id"});
  dir.Write("autoconfig.ini", R"({"auto":" ","product":"10"})");
  ExpectFailed(Check(dir), {"the board list is empty"});
}

// Two models whose boards share ids: the updater recognises the device as the model the later entry describes, so
// autoconfig.ini's list is checked against that one.
TEST(FwTool, CheckJudgesTheAutoConfigListByTheModelTheUpdaterRecognises)
{
  test::CScratchDir dir;
  dir.Write("fw_loader.ini", R"([{"name":"Old","penBoard":{"pid":"10","update":"fw.pen"},
      "touchBoard":{"pid":"11","update":"fw.pen"}},
      {"name":"New","penBoard":{"pid":"10","update":"fw.pen"}}])");
  dir.Write("fw.pen", S1(0x1000, {1, 2}) + "S9030000FC\n");
  dir.Write("autoconfig.ini", R"({"auto":"pen,touch","product":"10"})");
  ExpectFailed(Check(dir), {"model \"New\" has no touch update file"});
  // With the touch board gone too, nothing attached is ever taken for the first model.
  dir.Write("fw_loader.ini", R"([{"name":"Old","penBoard":{"pid":"10","sectors":16,"update":"fw.pen"}},
      {"name":"New","penBoard":{"pid":"10","sectors":16,"update":"fw.pen"}}])");
  dir.Write("autoconfig.ini", R"({"auto":"pen","product":"10"})");
  ExpectErrors(Check(dir), "error: model \"Old\" is never recognised: later entries take the ids of all its boards\n");
  // Each product id of the list may be the one attached: the list is checked against every model they name.
  dir.Write("fw_loader.ini", R"([{"name":"A","penBoard":{"pid":"10","sectors":16,"update":"fw.pen"},
      "touchBoard":{"pid":"11","sectors":16,"update":"fw.pen"}},
      {"name":"B","penBoard":{"pid":"20","sectors":16,"update":"fw.pen"}}])");
  dir.Write("autoconfig.ini", R"({"auto":"pen,touch","product":"10,11,20"})");
  ExpectErrors(Check(dir), "error: " + (dir.Path() / "autoconfig.ini").string() +
                               ": line 1, column 9: model \"B\" has no touch update file\n");
}

// The updater compares a board's "sectors" with the block count its loader reports before an S-record update and
// refuses the board on a mismatch, so an S-record board without them is never updated; a device entered as loader
// is not compared.
TEST(FwTool, CheckRefusesAnSRecordBoardWithoutSectors)
{
  test::CScratchDir dir;
  dir.Write("fw.pen", S1(0x1000, {1, 2}) + "S9030000FC\n");
  dir.Write("fw_loader.ini", R"([{"name":"T","penBoard":{"pid":"10","update":"fw.pen"},
      "loaderBoard":{"pid":"11"}}])");
  EXPECT_EQ(Check(dir).code, 0) << Check(dir).err;
  dir.Write("fw_loader.ini", R"([{"name":"T","penBoard":{"pid":"10","update":"fw.pen"}}])");
  ExpectFailed(Check(dir), {"fw.pen: \"T\" penBoard has no \"sectors\""});
}

// The updater refuses a run whose list names a board with a file it cannot take: the check names the file.
TEST(FwTool, CheckRefusesAFileItsBoardCannotTake)
{
  test::CScratchDir dir;
  dir.Write("fw.bin", std::vector<uint8_t>(0x10000, 0xA5));
  dir.Write("fw_loader.ini", R"([{"name":"T","penBoard":{"pid":"10","update":"fw.bin"},
      "scalarBoard":{"vid":"5C23","pid":"1063","update":"fw.bin"}}])");
  ExpectErrors(Check(dir), "error: " + (dir.Path() / "fw.bin").string() + ": the pen board takes no scaler binary (.bin)\n");
}

// Arguments are UTF-8 everywhere: a package in a folder whose name no single code page holds is read like any
// other, and an image is written where it was asked for.
TEST(FwTool, PathsAreUtf8)
{
  test::CScratchDir scratch;
  const std::filesystem::path dir = scratch.Path() / u8"pak\u00E9t \u30D5\u30A1\u30FC\u30E0";
  std::filesystem::create_directory(dir);
  std::ofstream(dir / "fw_loader.ini") << R"([{"name":"T","penBoard":{"pid":"10","sectors":16,"update":"fw.pen"}}])";
  std::ofstream(dir / "fw.pen", std::ios::binary) << S1(0x1000, {1, 2}) + "S9030000FC\n";
  const auto utf8 = [](const std::filesystem::path& path_I) {
    const std::u8string text = path_I.u8string();
    return std::string(text.begin(), text.end());
  };
  const SRun check = RunTool({"check", utf8(dir)});
  EXPECT_EQ(check.code, 0) << check.err;
  const SRun image = RunTool({"image", utf8(dir / "fw.pen"), utf8(dir / "fw.img")});
  EXPECT_EQ(image.code, 0) << image.err;
  EXPECT_EQ(test::ReadBytes(dir / "fw.img"), (std::vector<uint8_t>{1, 2}));
}
