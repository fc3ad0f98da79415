// An I2C slave on the simulated bridge whose acknowledges and read bytes come from the input: the device's
// side of the DDC/CI and scaler conversations, bit by bit through the real MPSSE sequences.
#pragma once

#include "fuzz/fuzzsupport.h"
#include "sim/csimftdibridge.h"
#include "sim/csimi2cbus.h"

namespace orv::fuzz {

// A bridge that costs no time: the conversation, not the wire, is under test.
inline sim::SSimBridgeConfig InstantBridge()
{
  sim::SSimBridgeConfig config;
  config.roundTripUs = 0;
  config.honourLatencyTimer = false;
  return config;
}

class CFuzzSlave : public sim::CSimI2CSlave {
 public:
  // Answers the write address given and the read address after it.
  CFuzzSlave(CByteSource& source_I, uint8_t address_I) : mSource(source_I), mAddress(address_I) {}
  // Once the input is used up the slave acknowledges nothing and the line reads high.
  bool Address(uint8_t addressByte_I) override
  {
    return (addressByte_I & 0xFE) == mAddress && !mSource.Empty() && (mSource.Byte() & 0x80) == 0;
  }
  bool WriteByte(uint8_t) override { return true; }
  uint8_t ReadByte() override { return mSource.Empty() ? 0xFF : mSource.Byte(); }
  void Stop() override {}

 private:
  CByteSource& mSource;
  uint8_t mAddress;
};

}  // namespace orv::fuzz
