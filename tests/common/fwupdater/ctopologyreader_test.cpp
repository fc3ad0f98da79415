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
  EXPECT_TRUE(topology.reader.GetWarnings().empty());
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

TEST(TopologyReader, FaultyFieldsTakeDefaultsAndAreReported)
{
  STopology topology(R"([7, {"name":"X","penBoard":{"vid":"zz","pid":"123456789","interface":"hid",
                                 "sectors":"24","usageId":"0x"}, "touchBoard":[1]}])");
  ASSERT_TRUE(topology.loaded);
  const CDevice& device = topology.Prototype(DefaultVendorId);
  EXPECT_EQ(device.mInterfaceType[EUPDATETYPE_PEN], EINTERFACETYPE_INVALID);  // case-sensitive
  EXPECT_EQ(device.mSectors[EUPDATETYPE_PEN], 0u);                            // a string is not an integer
  EXPECT_EQ(device.mUsageId[EUPDATETYPE_PEN], 0u);
  EXPECT_FALSE(device.mHasTouch);                                              // not a map: absent
  // The non-map entry, vid, pid (more than 32 bits), interface and usageId are reported.
  EXPECT_EQ(topology.reader.GetWarnings().size(), 5u);
}

TEST(TopologyReader, HexReaderAcceptsPrefixAndLeadingZeros)
{
  uint32_t value = 0;
  for (const auto& [text, expected] : std::vector<std::pair<std::string, uint32_t>>{
           {"4F52", 0x4F52}, {"0x4f52", 0x4F52}, {"0X10", 0x10}, {" 7 ", 7}, {"000000000FFFFFFFF", 0xFFFFFFFF}}) {
    ASSERT_TRUE(ParseHex32(text, value)) << text;
    EXPECT_EQ(value, expected) << text;
  }
  for (const char* bad : {"", "0x", "-1", "12zz", "100000000", "4F 52"}) {
    EXPECT_FALSE(ParseHex32(bad, value)) << bad;
  }
}
