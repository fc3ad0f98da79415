#include <gtest/gtest.h>

#include <string>

#include "sim/csimi2cbus.h"

using namespace orv::sim;

namespace {

// Records what the bus tells it, acknowledges its address (write 0x20 / read 0x21) and bytes below 0x80,
// and answers reads with 0xA5, 0x5A, ...
class CRecordingSlave : public CSimI2CSlave {
 public:
  bool Address(uint8_t byte_I) override
  {
    mLog += "A" + Hex(byte_I) + " ";
    return (byte_I & 0xFE) == 0x20;
  }
  bool WriteByte(uint8_t byte_I) override
  {
    mLog += "W" + Hex(byte_I) + " ";
    return byte_I < 0x80;
  }
  uint8_t ReadByte() override
  {
    mLog += "R ";
    return mNext++ % 2 ? 0x5A : 0xA5;
  }
  void Stop() override { mLog += "P "; }

  static std::string Hex(uint8_t byte_I)
  {
    const char* digits = "0123456789ABCDEF";
    return {digits[byte_I >> 4], digits[byte_I & 15]};
  }

  std::string mLog;
  int mNext = 0;
};

// A master that moves the pins one level at a time, as an MPSSE stream does.
class CSimI2CBusTest : public ::testing::Test {
 protected:
  CSimI2CBusTest() { mBus.Attach(mSlave); }

  void Start()
  {
    mBus.Drive(true, true);
    mBus.Drive(true, false);
    mBus.Drive(false, false);
  }
  void Stop()
  {
    mBus.Drive(false, false);
    mBus.Drive(true, false);
    mBus.Drive(true, true);
  }
  bool Clock(bool sda_I)
  {
    mBus.Drive(false, sda_I);
    mBus.Drive(true, sda_I);
    const bool line = mBus.Sda();
    mBus.Drive(false, sda_I);
    return line;
  }
  // True when acknowledged.
  bool Write(uint8_t byte_I)
  {
    for (int bit = 7; bit >= 0; --bit) Clock((byte_I >> bit & 1) != 0);
    return !Clock(true);
  }
  uint8_t Read(bool acknowledge_I)
  {
    uint8_t value = 0;
    for (int bit = 0; bit < 8; ++bit) value = static_cast<uint8_t>(value << 1 | Clock(true));
    Clock(!acknowledge_I);
    return value;
  }

  CSimI2CBus mBus;
  std::shared_ptr<CRecordingSlave> mSlave = std::make_shared<CRecordingSlave>();
};

}  // namespace

TEST_F(CSimI2CBusTest, AcknowledgesRepeatedStartsAndReadsUntilTheMastersNack)
{
  Start();
  EXPECT_TRUE(Write(0x20));
  EXPECT_FALSE(Write(0x90));
  Start();
  EXPECT_TRUE(Write(0x21));
  EXPECT_EQ(Read(true), 0xA5);
  EXPECT_EQ(Read(false), 0x5A);
  // After the master's NACK the slave has let go of SDA, so the stop is seen.
  Stop();
  EXPECT_TRUE(mBus.Sda());
  // Nobody answers 0x50: the bus ignores everything up to the next start.
  Start();
  EXPECT_FALSE(Write(0x50));
  EXPECT_FALSE(Write(0x12));
  Stop();
  EXPECT_EQ(mSlave->mLog, "A20 W90 P A21 R R P A50 ");
}

TEST_F(CSimI2CBusTest, OnlyDataChangesWhileTheClockIsHighMakeStartsAndStops)
{
  // Both lines changing in one step: SDA moves while SCL is low, so neither a start nor a stop happens.
  mBus.Drive(false, true);
  mBus.Drive(true, false);
  mBus.Drive(false, true);
  EXPECT_EQ(mSlave->mLog, "");
  Start();
  EXPECT_TRUE(Write(0x20));
  // The clock rises with SDA low (first bit of a byte never finished), then the stop.
  mBus.Drive(true, false);
  mBus.Drive(true, true);
  EXPECT_EQ(mSlave->mLog, "A20 P ");
}
