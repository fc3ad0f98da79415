#include <gtest/gtest.h>

#include "common/fwupdater/ctopologyreader.h"
#include "tests/testsupport/testfiles.h"

using namespace orv;

namespace {

struct STopology {
  test::CScratchDir dir;
  CTopologyReader reader;
  bool loaded = false;

  explicit STopology(const std::string& text_I) { loaded = reader.Load(dir.Write("fw_loader.ini", text_I)); }
  const CDevice& Prototype(uint32_t key_I) const { return reader.GetPrototypes().at(key_I); }
};

}  // namespace

TEST(TopologyReader, MissingMalformedOrEmptyTablesLoadNothing)
{
  for (const char* text : {"[]", "{\"name\":\"x\"}", "[{\"name\":\"x\" \"penBoard\":{}}]", ""}) {
    STopology topology(text);
    EXPECT_FALSE(topology.loaded) << text;
    EXPECT_TRUE(topology.reader.GetPrototypes().empty()) << text;
  }
  CTopologyReader reader;
  EXPECT_FALSE(reader.Load("no/such/fw_loader.ini"));
}

TEST(TopologyReader, ReadsEveryBoardField)
{
  STopology topology(R"([{"name":"Display",
    "penBoard":{"vid":"0x1234","pid":"0210","interface":"HID","sectors":64,"init":true,"topology":258,
                "usageId":"1","usagePg":"FF0D","update":"p.orv","intoBLMode":false},
    "touchBoard":{"pid":"0211","interface":"I2C","sectors":22,"usageId":"2","usagePg":"ff0d","update":"t.hex"},
    "bluetoothBoard":{"pid":"0212","interface":"BULK","topology":3,"update":"b.airoflash","intoBLMode":false},
    "scalarBoard":{"pid":"1063","quantaScalarBoard":true,"update":"s.bin"}}])");
  ASSERT_TRUE(topology.loaded);
  // Read as it always was, but no board has so many levels above it.
  EXPECT_EQ(topology.reader.GetWarnings(), (std::vector<std::string>{
                                               "line 2, column 99: \"Display\" penBoard topology: 258 is out of "
                                               "range (0 to 255)"}));
  const CDevice& device = topology.Prototype(0x1234 + 0x210);
  EXPECT_EQ(device.mVendorId, (std::array<uint32_t, 4>{0x1234, DefaultVendorId, DefaultVendorId, 0x5C23}));
  EXPECT_EQ(device.mProductId, (std::array<uint32_t, 4>{0x210, 0x211, 0x212, 0x1063}));
  EXPECT_EQ(device.mInterfaceType, (std::array<int32_t, 4>{1, 3, 2, 4}));
  EXPECT_EQ(device.mSectors, (std::array<uint32_t, 3>{64, 22, 0}));
  EXPECT_EQ(device.mTopology, (std::array<uint8_t, 3>{2, 1, 3}));  // only the low byte of 258 counts
  EXPECT_EQ(device.mUsageId, (std::array<uint32_t, 3>{1, 2, 0}));
  EXPECT_EQ(device.mUsagePage, (std::array<uint32_t, 3>{0xFF0D, 0xFF0D, 0}));
  EXPECT_EQ(device.mInitEeprom, (std::array<bool, 3>{true, false, false}));
  EXPECT_EQ(device.mIntoBLMode, (std::array<bool, 3>{false, true, false}));
  EXPECT_EQ(device.mUpdateFile, (std::array<std::string, 4>{"p.orv", "t.hex", "b.airoflash", "s.bin"}));
  EXPECT_TRUE(device.mHasTouch && device.mHasBluetooth && device.mHasScalar && device.mQuantaScalarBoard);
  // Registered under the pen, touch, bluetooth and scaler keys.
  EXPECT_EQ(topology.reader.GetPrototypes().size(), 4u);
  for (uint32_t key : {DefaultVendorId + 0x211, DefaultVendorId + 0x212, 0x5C23u + 0x1063}) {
    EXPECT_EQ(topology.Prototype(key).mName, "Display") << key;
  }
}

TEST(TopologyReader, RegistrationKeysAreSumsLaterEntriesWinAndBoardsTakeDefaults)
{
  STopology topology(R"([
    {"name":"A","penBoard":{"vid":"1000","pid":"100"},"touchBoard":{"vid":"1000","pid":"100"}},
    {"name":"B","penBoard":{"vid":"F00","pid":"200"}},
    {"name":"C","penBoard":{"pid":"5"}},
    {"name":"D","penBoard":{"pid":"5"}}])");
  ASSERT_TRUE(topology.loaded);
  // A's touch board shares the pen key and is registered once; B's different ids add up to the same key.
  EXPECT_EQ(topology.reader.GetPrototypes().size(), 2u);
  EXPECT_EQ(topology.Prototype(0x1100).mName, "B");
  EXPECT_EQ(topology.reader.GetModels().size(), 4u);
  // A board with only a product id takes the defaults.
  const CDevice& device = topology.Prototype(DefaultVendorId + 5);
  EXPECT_EQ(device.mName, "D");
  EXPECT_EQ(device.mInterfaceType[EUPDATETYPE_PEN], EINTERFACETYPE_HID);
  EXPECT_EQ(device.mSectors[EUPDATETYPE_PEN], 0u);
  EXPECT_EQ(device.mTopology[EUPDATETYPE_PEN], 1);
  EXPECT_TRUE(device.mIntoBLMode[EUPDATETYPE_PEN]);
  EXPECT_FALSE(device.mIsLoader || device.mHasTouch);
}

TEST(TopologyReader, LoaderBoardReplacesThePenIdentity)
{
  STopology topology(R"([
    {"name":"Tablet","penBoard":{"pid":"0101","sectors":8,"update":"t.pen","intoBLMode":false},
     "loaderBoard":{"pid":"0100","sectors":32,"usageId":"1","usagePg":"FF0D","update":"ignored.pen"}},
    {"name":"Bare","loaderBoard":{"pid":"0300"}}])");
  ASSERT_TRUE(topology.loaded);
  const CDevice& tablet = topology.Prototype(DefaultVendorId + 0x100);
  EXPECT_TRUE(tablet.mIsLoader);
  EXPECT_EQ(tablet.mSectors[EUPDATETYPE_PEN], 32u);
  EXPECT_EQ(tablet.mUpdateFile[EUPDATETYPE_PEN], "t.pen");
  EXPECT_FALSE(tablet.mIntoBLMode[EUPDATETYPE_PEN]);
  EXPECT_EQ(topology.reader.GetPrototypes().count(DefaultVendorId + 0x101), 0u);
  EXPECT_TRUE(topology.Prototype(DefaultVendorId + 0x300).mIsLoader);
}

TEST(TopologyReader, FaultyFieldsTakeDefaultsAndAreReportedWhereTheyStand)
{
  STopology topology(R"([7, {"name":"X","penBoard":{"vid":"zz","pid":"123456789","interface":"hid",
                                 "sectors":"24","usageId":"0x"}, "touchBoard":[1]}])");
  ASSERT_TRUE(topology.loaded);
  const CDevice& device = topology.Prototype(DefaultVendorId);
  EXPECT_EQ(device.mInterfaceType[EUPDATETYPE_PEN], EINTERFACETYPE_INVALID);  // case-sensitive
  EXPECT_EQ(device.mSectors[EUPDATETYPE_PEN], 0u);                            // a string is not an integer
  EXPECT_EQ(device.mUsageId[EUPDATETYPE_PEN], 0u);
  EXPECT_FALSE(device.mHasTouch);                                              // not a map: absent
  EXPECT_EQ(topology.reader.GetWarnings(),
            (std::vector<std::string>{
                "line 1, column 2: entry 0: not a map, skipped",
                "line 1, column 35: \"X\" penBoard vid: \"zz\" is not a 32-bit hexadecimal number",
                "line 1, column 46: \"X\" penBoard pid: \"123456789\" is not a 32-bit hexadecimal number",
                "line 2, column 44: \"X\" penBoard sectors: \"24\" is not a whole number",
                "line 2, column 59: \"X\" penBoard usageId: \"0x\" is not a 32-bit hexadecimal number",
                "line 2, column 79: \"X\" touchBoard: not a map, ignored",
                "line 1, column 70: \"X\" penBoard interface: \"hid\" is not a transport"}));
}

// Values of another type or out of the board's range are read as before (the updater's behaviour does not
// change), and each is reported.
TEST(TopologyReader, EveryKeyIsCheckedForItsTypeAndRange)
{
  STopology topology(R"([{"name":5,"penBoard":{"vid":16,"pid":"10000","sectors":-5,"init":1,"topology":1.5,
     "usagePg":"FF0D","intoBLMode":"no","update":["a.pen"]},
    "scalarBoard":{"pid":"1063","quantaScalarBoard":"yes","sectors":"ignored here"},
    "loaderBoard":{"pid":"0100","sectors":4294967296,"update":7}}])");
  ASSERT_TRUE(topology.loaded);
  const CDevice& device = topology.Prototype(DefaultVendorId + 0x100);
  EXPECT_EQ(device.mSectors[EUPDATETYPE_PEN], 0u);  // the low 32 bits of the loader's 4294967296
  EXPECT_EQ(topology.Prototype(0x5C23 + 0x1063).mQuantaScalarBoard, false);
  EXPECT_EQ(topology.reader.GetWarnings(),
            (std::vector<std::string>{
                "line 1, column 10: \"\" name: 5 is not text",
                "line 1, column 30: \"\" penBoard vid: 16 is not text: write the hexadecimal number in quotes",
                "line 1, column 39: \"\" penBoard pid: \"10000\" is above 0xFFFF",
                "line 1, column 57: \"\" penBoard sectors: -5 is out of range (0 to 4294967295)",
                "line 1, column 67: \"\" penBoard init: 1 is not true or false",
                "line 1, column 80: \"\" penBoard topology: 1.500000 is not a whole number",
                "line 2, column 50: \"\" penBoard update: a list is not text",
                "line 2, column 36: \"\" penBoard intoBLMode: \"no\" is not true or false",
                "line 3, column 53: \"\" scalarBoard quantaScalarBoard: \"yes\" is not true or false",
                "line 4, column 43: \"\" loaderBoard sectors: 4294967296 is out of range (0 to 4294967295)"}));
}

TEST(TopologyReader, HexReaderAcceptsPrefixAndLeadingZeros)
{
  uint32_t value = 0;
  for (const auto& [text, expected] : std::vector<std::pair<std::string, uint32_t>>{
           {"4F52", 0x4F52}, {"0x4f52", 0x4F52}, {"0X10", 0x10}, {" 7 ", 7}, {"000000000FFFFFFFF", 0xFFFFFFFF}}) {
    ASSERT_TRUE(ParseHex32(text, value)) << text;
    EXPECT_EQ(value, expected) << text;
  }
  for (const char* bad : {"", "0x", "-1", "12zz", "100000000", "4F 52"}) EXPECT_FALSE(ParseHex32(bad, value)) << bad;
}
