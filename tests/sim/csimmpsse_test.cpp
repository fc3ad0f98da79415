#include <gtest/gtest.h>

#include "sim/csimmpsse.h"

using namespace orv::sim;

namespace {

using Bytes = std::vector<uint8_t>;

// Acknowledges every byte and answers reads with 0x3C.
class CAcknowledgingSlave : public CSimI2CSlave {
 public:
  bool Address(uint8_t byte_I) override
  {
    mAddress = byte_I;
    return true;
  }
  bool WriteByte(uint8_t byte_I) override
  {
    mWritten.push_back(byte_I);
    return true;
  }
  uint8_t ReadByte() override { return 0x3C; }
  void Stop() override { ++mStops; }

  uint8_t mAddress = 0;
  Bytes mWritten;
  int mStops = 0;
};

class CSimMpsseTest : public ::testing::Test {
 protected:
  CSimMpsseTest()
  {
    mBus.Attach(mSlave);
    mEngine.Reset();
    Feed({0x8A, 0x97, 0x8D, 0x9E, 0x02, 0x00, 0x80, 0x03, 0x03, 0x86, 0x2B, 0x01});
  }

  SSimMpsseOutput Feed(const Bytes& bytes_I) { return mEngine.Feed(bytes_I.data(), bytes_I.size()); }

  CSimI2CBus mBus;
  CSimMpsseEngine mEngine{mBus};
  std::shared_ptr<CAcknowledgingSlave> mSlave = std::make_shared<CAcknowledgingSlave>();
};

const Bytes kStart{0x80, 0x03, 0x03, 0x80, 0x01, 0x03, 0x80, 0x00, 0x03};
const Bytes kStop{0x80, 0x01, 0x03, 0x80, 0x03, 0x03, 0x80, 0x02, 0x03};

}  // namespace

TEST_F(CSimMpsseTest, UnknownOpcodesAreEchoedAndSendImmediateMarksWhatCameBefore)
{
  const SSimMpsseOutput output = Feed({0xAA, 0x87, 0xAB});
  EXPECT_EQ(output.bytes, (Bytes{0xFA, 0xAA, 0xFA, 0xAB}));
  EXPECT_TRUE(output.sendImmediate);
  EXPECT_EQ(output.immediate, 2u);
  EXPECT_FALSE(Feed({0x84, 0x85}).sendImmediate);
}

TEST_F(CSimMpsseTest, ClocksBytesOutAndBitsInAtTheConfiguredRate)
{
  EXPECT_EQ(mEngine.ClockHz(), 100000u);
  Feed(kStart);
  // Cut inside the length and inside the data: the rest arrives with the next writes.
  EXPECT_TRUE(Feed({0x11, 0x00}).bytes.empty());
  Feed({0x00});
  Feed({0x94, 0x80, 0x00, 0x01, 0x22});
  const SSimMpsseOutput ack = Feed({0x00, 0x80, 0x00, 0x03});
  EXPECT_EQ(ack.bytes, Bytes{0x00});  // the acknowledge bit lands in bit 0
  EXPECT_EQ(mSlave->mAddress, 0x94);
  EXPECT_EQ(mEngine.Bits(), 9u);
  EXPECT_EQ(mEngine.WireNs(), 90000u);
  // Divide-by-5 on: the same divisor clocks five times slower.
  Feed({0x8B});
  EXPECT_EQ(mEngine.ClockHz(), 20000u);
  Feed({0x13, 0x00, 0x00});
  EXPECT_EQ(mEngine.WireNs(), 140000u);
}

TEST_F(CSimMpsseTest, ReadsAByteAndSendsTheMastersAcknowledge)
{
  Feed(kStart);
  Feed({0x11, 0x00, 0x00, 0x95, 0x80, 0x00, 0x01, 0x22, 0x00, 0x80, 0x00, 0x03, 0x80, 0x02, 0x03});
  const SSimMpsseOutput read = Feed({0x80, 0x00, 0x01, 0x24, 0x00, 0x00, 0x80, 0x00, 0x03, 0x13, 0x00, 0x80});
  EXPECT_EQ(read.bytes, Bytes{0x3C});
  Feed(kStop);
  EXPECT_EQ(mSlave->mStops, 1);
  // Loop-back: data in reads the released data out pin, not the slave's acknowledge on the bus.
  Feed(kStart);
  const SSimMpsseOutput loop = Feed({0x84, 0x11, 0x00, 0x00, 0x94, 0x80, 0x00, 0x01, 0x22, 0x00});
  EXPECT_EQ(loop.bytes, Bytes{0x01});
}
