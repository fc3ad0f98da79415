// A bridge in the D2XX library's place that answers the connector byte by byte instead of clocking every bit
// through the simulated MPSSE and I2C bus: the same slave sees the same address bytes, writes, reads and
// stops, in the same order, so an input drives the same conversation at a fraction of the cost. It keeps no
// time as the simulated bridge without round trips or latency does (the bits' time on the wire at the clock
// configured, the read time-out of a read that asks for more than there is), and models only what an I2C master
// on the MPSSE does: start and stop conditions from the low pins, bytes clocked out, acknowledges and bytes
// clocked in, the master's acknowledge clocked out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "common/osd/cd2xx.h"
#include "sim/csimi2cbus.h"

namespace orv::fuzz {

class CFuzzBridge : public CD2XX {
 public:
  explicit CFuzzBridge(std::shared_ptr<sim::CSimI2CSlave> slave_I) : mSlave(std::move(slave_I)) {}

  FT_STATUS OpenEx(void* arg1_I, uint32_t flags_I, FT_HANDLE* handle_O) override;
  FT_STATUS ListDevices(void* arg1_IO, void* arg2_IO, uint32_t flags_I) override;
  FT_STATUS Close(FT_HANDLE handle_I) override;
  FT_STATUS Read(FT_HANDLE handle_I, void* buffer_O, uint32_t toRead_I, uint32_t* read_O) override;
  FT_STATUS Write(FT_HANDLE handle_I, const void* buffer_I, uint32_t toWrite_I, uint32_t* written_O) override;
  FT_STATUS ResetDevice(FT_HANDLE handle_I) override;
  FT_STATUS SetChars(FT_HANDLE handle_I, uint8_t, uint8_t, uint8_t, uint8_t) override { return Check(handle_I); }
  FT_STATUS SetTimeouts(FT_HANDLE handle_I, uint32_t readMs_I, uint32_t writeMs_I) override;
  FT_STATUS GetQueueStatus(FT_HANDLE handle_I, uint32_t* bytes_O) override;
  FT_STATUS SetLatencyTimer(FT_HANDLE handle_I, uint8_t) override { return Check(handle_I); }
  FT_STATUS SetBitMode(FT_HANDLE handle_I, uint8_t mask_I, uint8_t mode_I) override;
  FT_STATUS SetUSBParameters(FT_HANDLE handle_I, uint32_t, uint32_t) override { return Check(handle_I); }

 private:
  enum EPhase : uint8_t {
    EPHASE_IDLE,
    // The slave (or, for the address byte, the bus) takes in a byte.
    EPHASE_RECEIVE,
    // The slave's acknowledge of the byte received comes next.
    EPHASE_ACK_OUT,
    // The slave sends the byte loaded.
    EPHASE_TRANSMIT,
    // The master's acknowledge of the byte sent comes next.
    EPHASE_ACK_IN,
  };

  FT_STATUS Check(FT_HANDLE handle_I) const;
  void PowerUp();
  size_t CommandLength(size_t at_I) const;
  void Execute(const uint8_t* command_I);
  void SetLowPins(uint8_t value_I, uint8_t direction_I);
  void StartCondition();
  void StopCondition();
  bool Line() const { return mSda && mSlaveSda; }
  void RisingEdge();
  void FallingEdge();
  void ByteReceived(uint8_t byte_I);
  void ByteOut(uint8_t byte_I);
  uint8_t ByteIn();
  // Whether the connector's whole write of one batch byte starts here and can be run at once.
  bool BatchWriteAt(size_t at_I) const;
  void BatchWrite(uint8_t byte_I);
  // One clock cycle from the clock's idle level, data out (out_I >= 0) or in; the level read.
  bool ClockBit(int out_I);
  void LoadTransmitByte();
  // Books time on the installed clock, in whole milliseconds, carrying the rest over.
  void Spend(uint64_t nanoseconds_I);
  void ClockSettingsReset();
  uint64_t BitTicks() const { return (1u + mDivisor) * (mThreePhase ? 3u : 2u) * (mDivideBy5 ? 5u : 1u); }

  std::shared_ptr<sim::CSimI2CSlave> mSlave;
  bool mOpen = false;
  bool mMpsse = false;
  bool mLoopBack = false;
  uint32_t mReadTimeoutMs = 0;
  uint16_t mDivisor = 0;
  bool mDivideBy5 = true;
  bool mThreePhase = false;
  // Periods of the 60 MHz master clock the bits took, and time booked but not paused yet.
  uint64_t mWireTicks = 0;
  uint64_t mCarryNs = 0;
  std::vector<uint8_t> mPending;
  std::vector<uint8_t> mOutput;
  size_t mOutputRead = 0;
  bool mScl = true;
  bool mSda = true;
  // The slave's output, which it changes only while the clock is low.
  bool mSlaveSda = true;
  EPhase mPhase = EPHASE_IDLE;
  bool mAddressing = false;
  bool mSelected = false;
  bool mReading = false;
  bool mMasterAcknowledged = false;
  // The byte being received or sent, and its bits clocked so far.
  uint8_t mShift = 0;
  int mBits = 0;
};

}  // namespace orv::fuzz
