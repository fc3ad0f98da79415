#include <gtest/gtest.h>

#include <fstream>

#include "common/cclock.h"
#include "common/fwupdater/ctransferrecorder.h"
#include "sim/csimbus.h"
#include "sim/csimhidboard.h"
#include "tests/testsupport/testfiles.h"

using namespace orv;

TEST(CTransferRecorder, TextFieldsSurviveTheLineFormat)
{
  // Every byte the reader splits or ends a line at, the empty text and the empty marker itself.
  for (const std::string& text : {std::string("\\\\?\\HID#VID_4F52&PID_0210#7&1"), std::string("a b%20c\nd%"),
                                  std::string("\t\r\v\f"), std::string("a\0b", 3), std::string(), std::string("-"),
                                  std::string("--"), std::string("%2"), std::string("\xFF%zz")}) {
    const std::string escaped = CTransferRecorder::Escape(text);
    EXPECT_FALSE(escaped.empty());
    EXPECT_EQ(escaped.find_first_of(std::string(" \t\r\v\f\n\0", 7)), std::string::npos) << escaped;
    EXPECT_EQ(CTransferRecorder::Unescape(escaped), text) << escaped;
  }
  EXPECT_EQ(CTransferRecorder::Unescape("%0a%2d"), "\n-") << "escapes are read in either case";
  const uint8_t bytes[] = {0xCC, 0x4F, 0x00};
  EXPECT_EQ(CTransferRecorder::Hex(bytes, 3), "CC4F00");
  EXPECT_EQ(CTransferRecorder::Hex(bytes, 0), "-");
  EXPECT_EQ(CTransferRecorder::Number(0x4F52), "4F52");
}

TEST(CTransferRecorder, EveryCallThroughTheSeamsIsOneLine)
{
  test::CInstalledVirtualClock clock;
  const test::CScratchDir directory;
  // UTF-8, as every path the programs take; "é" is outside most ANSI code pages of Windows.
  const std::string file = directory.Path().string() + "/run-\xC3\xA9.rec";
  auto recorder = std::make_shared<CTransferRecorder>();
  ASSERT_TRUE(recorder->Open(file));
  auto bus = std::make_shared<sim::CSimBus>();
  sim::SSimHidBoardConfig config;
  config.normal = {0x4F52, 0x0210, 0x0100, 1, 0xFF0D, sim::MakeSimHidPath(0x4F52, 0x0210, 0, 1), ""};
  config.reenumerate = false;
  config.transferMs = 0;
  ASSERT_TRUE(bus->Attach(test::MustCreate(sim::CSimHidBoard::Create, config)));

  const std::shared_ptr<CHidSystem> hid = RecordingHidSystem(bus, recorder);
  const std::vector<std::string> paths = RecordingEnumerator(bus, recorder)->EnumerateInterfacePaths(EDEVICECLASS_HID);
  ASSERT_EQ(paths.size(), 1u);
  clock.Advance(7);
  const std::unique_ptr<CHidDevice> device = hid->Open(paths[0]);
  ASSERT_TRUE(device);
  EXPECT_TRUE(device->SetFeature({0x02, 0x00}));
  std::vector<uint8_t> request{0xD8, 0, 0};
  EXPECT_FALSE(device->GetFeature(request)) << "a board in normal mode answers no get";
  EXPECT_FALSE(hid->Open("\\\\?\\missing"));
  EXPECT_TRUE(recorder->Good());

  std::ifstream in(std::filesystem::u8path(file));
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  const std::string path = CTransferRecorder::Escape(paths[0]);
  EXPECT_EQ(lines, (std::vector<std::string>{kRecordingHeader, "0 enumerate hid " + path, "7 hid " + path + " open ok",
                                             "7 hid " + path + " set ok 0200", "7 hid " + path + " get failed D80000",
                                             "7 hid \\\\?\\missing open failed"}));
  EXPECT_FALSE(CTransferRecorder().Open(directory.Path().string()));
}
