#include <gtest/gtest.h>

#include "app/startupoptions.h"
#include "common/textconversion.h"
#include "tests/testsupport/testfiles.h"

using namespace orv;

TEST(StartupOptions, EachOptionTakesTheNextToken)
{
  const StartupOptions options = ParseCommandLine(
      u"  -path HID#VID_1+PID_2 -serial SN01 -port 3 -testpid 0210,0211 -auto pen,touch -lang de -unknown x -auto");
  EXPECT_EQ(options.path, u"\\\\?\\HID#VID_1&PID_2");
  EXPECT_EQ(options.serial, u"SN01");
  EXPECT_EQ(options.port, 3);
  EXPECT_EQ(options.testPids, u"0210,0211");
  EXPECT_EQ(options.autoUpdate, u"pen,touch");
  EXPECT_EQ(options.lang, u"de");
}

// "-path" takes what "--list" shows, as shown or without the prefix; a device node keeps its own form.
TEST(StartupOptions, PathTakesWhatTheListShows)
{
  for (const char16_t* path : {u"-path \\\\?\\HID#VID_1&PID_2", u"-path HID#VID_1&PID_2", u"-path HID#VID_1+PID_2"}) {
    EXPECT_EQ(ParseCommandLine(path).path, u"\\\\?\\HID#VID_1&PID_2") << WideToUtf8(path);
  }
  for (const char16_t* path : {u"-path /dev/hidraw3", u"-path \\\\?\\/dev/hidraw3"}) {
    EXPECT_EQ(ParseCommandLine(path).path, u"/dev/hidraw3") << WideToUtf8(path);
  }
  EXPECT_EQ(ParseCommandLine(u"-path /dev/bus/usb/001/002+x").path, u"/dev/bus/usb/001/002+x");
}

// "-y" takes no value; as the value of another option it accepts nothing.
TEST(StartupOptions, DashYAcceptsTheWarningOnlyAsAnOptionOfItsOwn)
{
  EXPECT_FALSE(ParseCommandLine(u"-auto scalar").acceptWarning);
  EXPECT_TRUE(ParseCommandLine(u"-y -auto scalar").acceptWarning);
  EXPECT_TRUE(ParseCommandLine(u"-auto scalar -y").acceptWarning);
  EXPECT_FALSE(ParseCommandLine(u"-auto scalar -serial -y").acceptWarning);
  EXPECT_TRUE(CommandLineWarnings(u"-y -auto scalar -y").empty());
  EXPECT_EQ(CommandLineWarnings(u"-y x"), (std::vector<std::string>{"unexpected argument x ignored"}));
}

TEST(StartupOptions, BlanksMakeEmptyTokensAndValuesActAsOptions)
{
  EXPECT_EQ(ParseCommandLine(u"-auto  pen").autoUpdate, u"");
  const StartupOptions options = ParseCommandLine(u"-serial -lang fr");
  EXPECT_EQ(options.serial, u"-lang");
  EXPECT_EQ(options.lang, u"fr");
  EXPECT_EQ(ParseCommandLine(u"").autoUpdate, u"");
  for (const char16_t* port : {u"-port 70000", u"-port x", u"-port -1"}) {
    EXPECT_EQ(ParseCommandLine(port).port, 65535) << std::string(port, port + 5);
  }
  EXPECT_EQ(ParseCommandLine(u"-port 12ab").port, 12);
}

// A deployment tool quotes a file name, which may hold blanks: the quotes are no part of the value.
TEST(StartupOptions, AQuotedValueIsOneTokenWithoutItsQuotes)
{
  const std::u16string line = u"-quiet -result \"C:\\Users\\Jo Doe\\r.json\" -auto pen -record \"\"";
  const StartupOptions options = ParseCommandLine(line);
  EXPECT_EQ(options.resultFile, u"C:\\Users\\Jo Doe\\r.json");
  EXPECT_EQ(options.autoUpdate, u"pen");
  EXPECT_EQ(options.recordFile, u"");
  EXPECT_TRUE(CommandLineWarnings(line).empty());
}

TEST(StartupOptions, AutoConfigIsReadOnlyWithoutASelectorAndWithBothKeys)
{
  test::CScratchDir dir;
  const std::string file = dir.Write("autoconfig.ini", R"({"auto":"pen,scalar","product":"0210"})");
  StartupOptions options = ParseCommandLine(u"-serial SN -port 2");
  ReadAutoConfig(options, file);
  EXPECT_EQ(options.autoUpdate, u"pen,scalar");
  EXPECT_EQ(options.testPids, u"0210");
  EXPECT_EQ(options.serial, u"");
  EXPECT_EQ(options.port, 65535);

  options = ParseCommandLine(u"-auto pen -path x");
  ReadAutoConfig(options, file);
  EXPECT_EQ(options.autoUpdate, u"pen");

  options = ParseCommandLine(u"-port 2");
  ReadAutoConfig(options, dir.Write("only-auto.ini", R"({"auto":"pen"})"));
  EXPECT_EQ(options.autoUpdate, u"");
  EXPECT_EQ(options.port, 65535);
  ReadAutoConfig(options, (dir.Path() / "missing.ini").string());
  EXPECT_EQ(options.testPids, u"");
}

// An installer may pass more than we know: each such token is named, and none of them stops the run.
TEST(StartupOptions, WarningsNameEveryTokenPassedOverInSilence)
{
  const auto warnings = [](const std::u16string& line_I) { return CommandLineWarnings(line_I); };
  EXPECT_TRUE(warnings(u"-auto pen -testpid 0210 -port 1 -result r.json -lang de").empty());
  EXPECT_EQ(warnings(u"-bogus -help -auto pen extra"),
            (std::vector<std::string>{"unknown option -bogus ignored", "unknown option -help ignored",
                                      "unexpected argument extra ignored"}));
  EXPECT_EQ(warnings(u"-auto pen -testpid"), (std::vector<std::string>{"option -testpid needs a value; ignored"}));
  EXPECT_EQ(warnings(u"-port x"), (std::vector<std::string>{"-port x is not a number from 0 to 65535; ignored"}));
  // An unknown language falls back to English; a known one in any letter case does not warn.
  EXPECT_EQ(warnings(u"-lang xx"), (std::vector<std::string>{"-lang xx is not one of userUI, user, neutral, en, "
                                                             "zh_CN, zh_TW, fr, de, ja, ko, it, es, pt, nl, ru, sv, "
                                                             "pl, da, fi, no, tr, cs, el, hu, sk; English is used"}));
  EXPECT_TRUE(warnings(u"-lang ZH_cn -auto pen").empty());
  EXPECT_TRUE(warnings(u"-lang neutral").empty());
  EXPECT_EQ(warnings(u"-port 70000"), (std::vector<std::string>{"-port 70000 is not a number from 0 to 65535; ignored"}));
  // A value that is an option acts as that option too, so its own value is no stray argument.
  EXPECT_TRUE(warnings(u"-auto -path x").empty());
  EXPECT_EQ(ParseCommandLine(u"-result out.json").resultFile, u"out.json");
  // Both programs record with the same option.
  EXPECT_EQ(ParseCommandLine(u"-auto pen -record run.rec").recordFile, u"run.rec");
  EXPECT_TRUE(warnings(u"-record run.rec -auto pen").empty());
}

TEST(StartupOptions, ProblemsThatStopTheRunBeforeAnyBoardIsTouched)
{
  const auto problem = [](const std::u16string& line_I) { return OptionsProblem(ParseCommandLine(line_I)); };
  EXPECT_EQ(problem(u"-auto pen,touch,bluetooth,scalar -testpid 0210,0x0101"), "");
  EXPECT_EQ(problem(u"-auto  pen,touch "), "");
  EXPECT_EQ(problem(u"-auto bogus"), "\"bogus\" in the board list \"bogus\" is not one of pen, touch, bluetooth, scalar");
  EXPECT_EQ(problem(u"-auto pen,Touch"), "\"Touch\" in the board list \"pen,Touch\" is not one of pen, touch, bluetooth, scalar");
  EXPECT_EQ(problem(u"-auto pen,,touch").rfind("an empty entry in the board list", 0), 0u);
  EXPECT_EQ(problem(u"-auto pen -testpid zzzz"),
            "\"zzzz\" in the product ids \"zzzz\" is not a hexadecimal product id (0000 to FFFF)");
  EXPECT_EQ(problem(u"-auto pen -testpid 0210,10000").rfind("\"10000\" in the product ids", 0), 0u);
}
