// The DDC/CI queries against the simulated bridge and display.
#include <gtest/gtest.h>

#include <numeric>

#include "common/cclock.h"
#include "common/osd/i2cconnectorftdi.h"
#include "sim/csimddcdisplay.h"
#include "sim/csimftdibridge.h"
#include "tests/testsupport/testfiles.h"

using namespace orv;

namespace {

class DdcQueries : public ::testing::Test {
 protected:
  void Attach(const sim::SSimDdcDisplayConfig& config_I = {})
  {
    mDisplay = test::MustCreate(sim::CSimDdcDisplay::Create, config_I);
    mBridge.Attach(mDisplay);
    ASSERT_TRUE(mConnector.Open(0));
  }

  test::CInstalledVirtualClock mClock;
  test::CDebugCapture mCapture;
  sim::CSimFtdiBridge mBridge;
  std::shared_ptr<sim::CSimDdcDisplay> mDisplay;
  CI2CConnectorFTDI mConnector{mBridge};
};

}  // namespace

TEST_F(DdcQueries, AHealthyDisplayAnswersEveryQuery)
{
  const sim::SSimDdcDisplayConfig config{.serial = "orv16a001"};
  Attach(config);
  // A model that has no EDID is not asked for one; other ids use the table read.
  EXPECT_TRUE(mConnector.ReadEDID(0x4F520301).empty());
  EXPECT_TRUE(mDisplay->Requests().empty());
  EXPECT_EQ(mConnector.ReadEDID(0x12345678), mDisplay->Edid());
  EXPECT_EQ(mConnector.GetSerialNumber(kAnyDisplay), "ORV16A001");
  EXPECT_EQ(mConnector.GetModelName(), config.model) << "the model keeps its case";
  EXPECT_EQ(mConnector.ReadEDID(kAnyDisplay), mDisplay->Edid());
  EXPECT_EQ(mConnector.ReadFWVersion(), (PackedVersion{0x01, 0x02, 0x03, 0x05, 0x00}));
  EXPECT_EQ(mConnector.ReadCapabilitiesString(), config.capabilities);
  // Each request is framed with the host address, its length and the XOR checksum.
  const std::vector<std::vector<uint8_t>> requests = mDisplay->Requests();
  ASSERT_FALSE(requests.empty());
  const std::vector<uint8_t>& request = requests.back();
  ASSERT_GE(request.size(), 4u);
  EXPECT_EQ(std::vector<uint8_t>(request.begin(), request.begin() + 3),
            (std::vector<uint8_t>{0x6E, 0x51, static_cast<uint8_t>(0x80 | (request.size() - 4))}));
  EXPECT_EQ(std::accumulate(request.begin(), request.end(), uint8_t{0}, std::bit_xor<uint8_t>()), 0);
  EXPECT_TRUE(mCapture.Lines().empty());
}

TEST_F(DdcQueries, WithoutEdidBlocksTheTableAndThenTheDisplayInformationAreUsed)
{
  Attach({.edidBlocks = false});
  EXPECT_EQ(mConnector.ReadEDID(kAnyDisplay), mDisplay->Edid());

  const sim::SSimDdcDisplayConfig bare{.serial = "sn-77", .edidBlocks = false, .edidTable = false};
  sim::CSimFtdiBridge bridge;
  bridge.Attach(test::MustCreate(sim::CSimDdcDisplay::Create, bare));
  CI2CConnectorFTDI bareConnector(bridge);
  ASSERT_TRUE(bareConnector.Open(0));
  EXPECT_EQ(bareConnector.GetSerialNumber(kAnyDisplay), "SN-77");
  EXPECT_EQ(bareConnector.GetModelName(), bare.model);
  // With the display information read, the capabilities come from the capabilities request alone.
  EXPECT_EQ(bareConnector.ReadCapabilitiesString(), bare.capabilities);
}

TEST_F(DdcQueries, SpoiledRepliesAreSkippedRetriedOrReported)
{
  Attach();
  mDisplay->SetWrongChecksum(1);
  mDisplay->SetGarbageBytes(5, 3);
  EXPECT_EQ(mConnector.ReadEDID(kAnyDisplay), mDisplay->Edid()) << "a bad checksum is reported, the data used";
  EXPECT_EQ(mCapture.CountAsserts("\"ReadEDID read checksum mismatch\""), 1u);

  mDisplay->SetNoAcknowledge(2);
  EXPECT_EQ(mConnector.ReadFWVersion(), (PackedVersion{0x01, 0x02, 0x03, 0x05, 0x00})) << "retried twice";
  mDisplay->SetNoAcknowledge(sim::kSimAlways);
  EXPECT_EQ(mConnector.ReadFWVersion(), PackedVersion{});
  mDisplay->SetNoAcknowledge(0);

  mDisplay->SetNothingToSay(sim::kSimAlways);
  EXPECT_EQ(mConnector.ReadFWVersion(), PackedVersion{}) << "the null message is no data";
  mDisplay->SetNothingToSay(0);
  mDisplay->SetGarbageBytes(40);
  EXPECT_EQ(mConnector.ReadFWVersion(), PackedVersion{}) << "a display that never starts its reply";
  mDisplay->SetGarbageBytes(0);
  mDisplay->SetNoReply(sim::kSimAlways);
  EXPECT_TRUE(mConnector.ReadCapabilitiesString().empty());
  EXPECT_EQ(mCapture.CountAsserts("!capabilitiesStr.empty()"), 1u);
}
