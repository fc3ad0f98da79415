#include "app/devicelisting.h"

#include <gtest/gtest.h>

using namespace orv;

namespace {

SListedBoard Board(const std::string& name_I, const std::string& file_I, const std::string& path_I)
{
  return {.board = name_I, .vendorId = 0x4F52, .productId = 0x0210, .interfaceKind = "HID", .mode = "normal",
          .path = path_I, .version = "1.00", .file = file_I, .fileVersion = "1.01", .fileProblem = ""};
}

}  // namespace

TEST(DeviceListing, ColumnsLineUpAcrossDevicesWhateverTheLengthOfAFileName)
{
  SListedDevice display{"Display", false, {Board("pen", "pen.orv", "/dev/hidraw0"),
                                           Board("touch", "a_rather_long_touch_firmware_file_name_v2.hex", "/dev/hidraw1")}};
  SListedDevice tablet{"Tablet", true, {Board("bluetooth", "", "/dev/hidraw2")}};
  tablet.boards[0].version.clear();
  const std::vector<std::string> lines = DeviceListingLines({display, tablet});
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[0], "Display (normal mode)");
  EXPECT_EQ(lines[3], "Tablet (loader mode)");
  // Every board's node starts in the same column, and one space at least follows the longest file name.
  const size_t column = lines[1].find("/dev/hidraw0");
  ASSERT_NE(column, std::string::npos);
  EXPECT_EQ(lines[2].find("/dev/hidraw1"), column) << lines[2];
  EXPECT_EQ(lines[4].find("/dev/hidraw2"), column) << lines[4];
  EXPECT_EQ(lines[2].substr(column - 2, 2), "1 ") << lines[2];
  EXPECT_NE(lines[4].find("firmware ?"), std::string::npos);
  EXPECT_NE(lines[4].find("no update file"), std::string::npos);
}

TEST(DeviceListing, ShortCellsKeepTheUsualWidths)
{
  const std::vector<std::string> lines = DeviceListingLines({{"Display", false, {Board("pen", "pen.orv", "P")}}});
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1], "  pen       HID  4F52:0210  normal    firmware 1.00  file pen.orv 1.01" + std::string(20, ' ') + "P");
  EXPECT_TRUE(DeviceListingLines({}).empty());
}
