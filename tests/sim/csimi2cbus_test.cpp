#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "sim/csimi2cbus.h"

using namespace orv::sim;

namespace {

// Logs what the bus tells it (A address, W written byte, P stop), acknowledges its address
// (20 write / 21 read) and bytes below 80, and answers reads with 5B, A4, ...
class CRecordingSlave : public CSimI2CSlave {
 public:
  bool Address(uint8_t byte_I) override { return Answer('A', byte_I, (byte_I & 0xFE) == 0x20); }
  bool WriteByte(uint8_t byte_I) override { return Answer('W', byte_I, byte_I < 0x80); }
  uint8_t ReadByte() override { return mReads++ % 2 ? 0xA4 : 0x5B; }
  void Stop() override { mLog += "P "; }

  // Logs the byte and answers with acknowledge_I.
  bool Answer(char kind_I, uint8_t byte_I, bool acknowledge_I)
  {
    char text[8];
    std::snprintf(text, sizeof text, "%c%02X ", kind_I, byte_I);
    mLog += text;
    return acknowledge_I;
  }

  std::string mLog;
  int mReads = 0;
};

// A master that moves one pin at a time, as an MPSSE stream does.
class CSimI2CBusTest : public ::testing::Test {
 protected:
  CSimI2CBusTest() { mBus.Attach(mSlave); }

  // Pin levels in turn: {SCL, SDA}, true = released.
  void Drive(std::initializer_list<std::pair<bool, bool>> levels_I)
  {
    for (const auto& [scl, sda] : levels_I) mBus.Drive(scl, sda);
  }
  void Start() { Drive({{true, true}, {true, false}, {false, false}}); }
  void Stop() { Drive({{false, false}, {true, false}, {true, true}}); }
  // One clock with SDA released (true) or pulled low; the line as sampled while SCL is high.
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

TEST_F(CSimI2CBusTest, StartsStopsAndAcknowledgesAtThePins)
{
  // Both lines changing in one step: SDA moves while SCL is low, so neither a start nor a stop happens.
  Drive({{false, true}, {true, false}, {false, true}});
  EXPECT_EQ(mSlave->mLog, "");
  Start();
  EXPECT_TRUE(Write(0x20));
  EXPECT_FALSE(Write(0x90));
  // A repeated start ends the write and addresses anew.
  Start();
  EXPECT_TRUE(Write(0x21));
  EXPECT_EQ(Read(true), 0x5B);
  EXPECT_EQ(Read(false), 0xA4);
  // After the master's NACK the slave lets go of SDA (its next byte would start with a 0), so the stop is seen.
  Stop();
  EXPECT_TRUE(mBus.Sda());
  // Nobody answers 0x50: the bus ignores everything up to the next start.
  Start();
  EXPECT_FALSE(Write(0x50));
  EXPECT_FALSE(Write(0x12));
  Stop();
  // The clock rises with SDA low (the first bit of a byte never finished), then the stop.
  Start();
  EXPECT_TRUE(Write(0x20));
  Drive({{true, false}, {true, true}});
  EXPECT_EQ(mSlave->mLog, "A20 W90 P A21 P A50 A20 P ");
}
