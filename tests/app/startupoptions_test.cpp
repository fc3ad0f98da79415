#include <gtest/gtest.h>

#include "app/startupoptions.h"
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

TEST(StartupOptions, BlanksMakeEmptyTokensAndValuesActAsOptions)
{
  StartupOptions options = ParseCommandLine(u"-auto  pen");
  EXPECT_EQ(options.autoUpdate, u"");
  options = ParseCommandLine(u"-serial -lang fr");
  EXPECT_EQ(options.serial, u"-lang");
  EXPECT_EQ(options.lang, u"fr");
  EXPECT_EQ(ParseCommandLine(u"").autoUpdate, u"");
  for (const char16_t* port : {u"-port 70000", u"-port x", u"-port -1"}) {
    EXPECT_EQ(ParseCommandLine(port).port, 65535) << std::string(port, port + 5);
  }
  EXPECT_EQ(ParseCommandLine(u"-port 12ab").port, 12);
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
