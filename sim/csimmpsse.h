// The MPSSE of an FT232H-like bridge: interprets the command stream the host writes and moves the pins of an
// I2C bus. Low byte (ADBUS): bit 0 = SCL, bit 1 = SDA out, bit 2 = SDA in (wired to the line). A pin whose
// direction bit is clear, and with drive-only-zero a driven 1, is released and reads high.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "sim/csimi2cbus.h"

namespace orv::sim {

// What one write of commands produced.
struct SSimMpsseOutput {
  std::vector<uint8_t> bytes;
  // A send-immediate (0x87) came after the first `immediate` bytes (and after everything produced earlier).
  bool sendImmediate = false;
  size_t immediate = 0;
};

// Not thread safe: its owner (the bridge) serialises every call.
class CSimMpsseEngine {
 public:
  explicit CSimMpsseEngine(CSimI2CBus& bus_I);

  // The state the MPSSE starts in when it is switched on: pins released, default clock, nothing pending.
  void Reset();
  // Runs every complete command of the bytes; a command cut at the end waits for the next write.
  SSimMpsseOutput Feed(const uint8_t* bytes_I, size_t size_I);

  // Bits clocked since construction and their time on the wire at the clock each was clocked with.
  uint64_t Bits() const { return mBits; }
  uint64_t WireNs() const { return mWireTicks * 1000 / kTicksPerUs; }
  // The SCL frequency the current settings give.
  uint32_t ClockHz() const;

 private:
  // Wire time is counted in periods of the 60 MHz master clock.
  static constexpr uint64_t kTicksPerUs = 60;

  // Bytes the command at the front of the pending bytes needs; 0 while its length is not known yet.
  size_t CommandLength(size_t at_I) const;
  void Execute(const uint8_t* command_I, SSimMpsseOutput& output_IO);
  void SetLowPins(uint8_t value_I, uint8_t direction_I);
  void DrivePins();
  bool SclLevel() const;
  bool SdaOutLevel() const;
  bool SdaIn() const;
  // One clock cycle from the clock's idle level: data out (if any) on the falling edge, data in on the rising.
  bool ClockBit(int out_I);
  void ClockBytesOut(const uint8_t* data_I, size_t count_I);
  void ClockBitsOut(uint8_t data_I, int count_I);
  uint8_t ClockBitsIn(int count_I);
  void ClockBytesIn(size_t count_I, std::vector<uint8_t>& bytes_IO);

  CSimI2CBus& mBus;
  std::vector<uint8_t> mPending;
  uint8_t mLowValue = 0;
  uint8_t mLowDirection = 0;
  uint8_t mDriveZeroLow = 0;
  bool mLoopBack = false;
  bool mDivideBy5 = true;
  bool mThreePhase = false;
  uint16_t mDivisor = 0;
  uint64_t mBits = 0;
  uint64_t mWireTicks = 0;
};

}  // namespace orv::sim
