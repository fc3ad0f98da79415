#include "sim/csimmpsse.h"

namespace orv::sim {
namespace {

enum EOpcode : uint8_t {
  EOPCODE_BYTES_OUT_FALLING = 0x11,
  EOPCODE_BITS_OUT_FALLING = 0x13,
  EOPCODE_BITS_IN_RISING = 0x22,
  EOPCODE_BYTES_IN_RISING = 0x24,
  EOPCODE_SET_LOW = 0x80,
  EOPCODE_SET_HIGH = 0x82,
  EOPCODE_LOOPBACK_ON = 0x84,
  EOPCODE_LOOPBACK_OFF = 0x85,
  EOPCODE_DIVISOR = 0x86,
  EOPCODE_SEND_IMMEDIATE = 0x87,
  EOPCODE_DIVIDE_BY_5_OFF = 0x8A,
  EOPCODE_DIVIDE_BY_5_ON = 0x8B,
  EOPCODE_THREE_PHASE_ON = 0x8C,
  EOPCODE_THREE_PHASE_OFF = 0x8D,
  EOPCODE_ADAPTIVE_ON = 0x96,
  EOPCODE_ADAPTIVE_OFF = 0x97,
  EOPCODE_DRIVE_ZERO = 0x9E,
};

// The answer to an opcode the MPSSE does not know: this byte, then the opcode.
constexpr uint8_t kBadCommand = 0xFA;
constexpr uint8_t kScl = 0x01;
constexpr uint8_t kSdaOut = 0x02;
constexpr uint64_t kDivideBy5Ticks = 5;

size_t Length16(const uint8_t* bytes_I) { return (bytes_I[0] | bytes_I[1] << 8) + 1u; }

}  // namespace

CSimMpsseEngine::CSimMpsseEngine(CSimI2CBus& bus_I) : mBus(bus_I) {}

void CSimMpsseEngine::Reset()
{
  mPending.clear();
  mLowValue = mLowDirection = 0;
  mDriveZeroLow = 0;
  mLoopBack = false;
  mDivideBy5 = true;
  mThreePhase = false;
  mDivisor = 0;
  DrivePins();
}

uint32_t CSimMpsseEngine::ClockHz() const
{
  const uint32_t master = mDivideBy5 ? 12000000 : 60000000;
  return master / ((1u + mDivisor) * 2u);
}

SSimMpsseOutput CSimMpsseEngine::Feed(const uint8_t* bytes_I, size_t size_I)
{
  SSimMpsseOutput output;
  mPending.insert(mPending.end(), bytes_I, bytes_I + size_I);
  size_t at = 0;
  for (size_t length = CommandLength(at); length != 0 && at + length <= mPending.size(); length = CommandLength(at)) {
    Execute(&mPending[at], output);
    at += length;
  }
  mPending.erase(mPending.begin(), mPending.begin() + static_cast<std::ptrdiff_t>(at));
  return output;
}

size_t CSimMpsseEngine::CommandLength(size_t at_I) const
{
  const size_t available = mPending.size() - at_I;
  if (available == 0) return 0;
  switch (mPending[at_I]) {
    case EOPCODE_BYTES_OUT_FALLING:
      return available < 3 ? 0 : 3 + Length16(&mPending[at_I + 1]);
    case EOPCODE_BITS_OUT_FALLING:
    case EOPCODE_BYTES_IN_RISING:
    case EOPCODE_SET_LOW:
    case EOPCODE_SET_HIGH:
    case EOPCODE_DIVISOR:
    case EOPCODE_DRIVE_ZERO:
      return 3;
    case EOPCODE_BITS_IN_RISING:
      return 2;
    default:
      return 1;
  }
}

void CSimMpsseEngine::Execute(const uint8_t* command_I, SSimMpsseOutput& output_IO)
{
  switch (command_I[0]) {
    case EOPCODE_BYTES_OUT_FALLING: ClockBytesOut(command_I + 3, Length16(command_I + 1)); return;
    case EOPCODE_BITS_OUT_FALLING: ClockBitsOut(command_I[2], (command_I[1] & 7) + 1); return;
    case EOPCODE_BITS_IN_RISING: output_IO.bytes.push_back(ClockBitsIn((command_I[1] & 7) + 1)); return;
    case EOPCODE_BYTES_IN_RISING: ClockBytesIn(Length16(command_I + 1), output_IO.bytes); return;
    case EOPCODE_SET_LOW: SetLowPins(command_I[1], command_I[2]); return;
    // The high byte (ACBUS) and adaptive clocking touch nothing on the I2C bus.
    case EOPCODE_SET_HIGH:
    case EOPCODE_ADAPTIVE_ON:
    case EOPCODE_ADAPTIVE_OFF: return;
    case EOPCODE_LOOPBACK_ON: mLoopBack = true; return;
    case EOPCODE_LOOPBACK_OFF: mLoopBack = false; return;
    case EOPCODE_DIVISOR: mDivisor = static_cast<uint16_t>(command_I[1] | command_I[2] << 8); return;
    case EOPCODE_SEND_IMMEDIATE:
      output_IO.sendImmediate = true;
      output_IO.immediate = output_IO.bytes.size();
      return;
    case EOPCODE_DIVIDE_BY_5_OFF: mDivideBy5 = false; return;
    case EOPCODE_DIVIDE_BY_5_ON: mDivideBy5 = true; return;
    case EOPCODE_THREE_PHASE_ON: mThreePhase = true; return;
    case EOPCODE_THREE_PHASE_OFF: mThreePhase = false; return;
    case EOPCODE_DRIVE_ZERO:
      mDriveZeroLow = command_I[1];
      DrivePins();
      return;
    default:
      output_IO.bytes.push_back(kBadCommand);
      output_IO.bytes.push_back(command_I[0]);
      return;
  }
}

void CSimMpsseEngine::SetLowPins(uint8_t value_I, uint8_t direction_I)
{
  mLowValue = value_I;
  mLowDirection = direction_I;
  DrivePins();
}

bool CSimMpsseEngine::SclLevel() const { return (mLowDirection & kScl) == 0 || (mLowValue & kScl) != 0; }

// Open drain or not, a driven 1 and a released pin both read high on the pulled-up line.
bool CSimMpsseEngine::SdaOutLevel() const { return (mLowDirection & kSdaOut) == 0 || (mLowValue & kSdaOut) != 0; }

bool CSimMpsseEngine::SdaIn() const { return mLoopBack ? SdaOutLevel() : mBus.Sda(); }

void CSimMpsseEngine::DrivePins() { mBus.Drive(SclLevel(), SdaOutLevel()); }

bool CSimMpsseEngine::ClockBit(int out_I)
{
  const uint8_t idle = mLowValue & kScl;
  const auto setData = [this, out_I] {
    if (out_I < 0) return;
    mLowValue = static_cast<uint8_t>(out_I ? mLowValue | kSdaOut : mLowValue & ~kSdaOut);
  };
  if (idle) {
    mLowValue &= static_cast<uint8_t>(~kScl);
    setData();
    DrivePins();
  } else {
    setData();
  }
  mLowValue |= kScl;
  DrivePins();
  const bool in = SdaIn();
  if (!idle) {
    mLowValue &= static_cast<uint8_t>(~kScl);
    DrivePins();
  }
  ++mBits;
  const uint64_t halfPeriods = mThreePhase ? 3 : 2;
  mWireTicks += (1u + mDivisor) * halfPeriods * (mDivideBy5 ? kDivideBy5Ticks : 1);
  return in;
}

void CSimMpsseEngine::ClockBytesOut(const uint8_t* data_I, size_t count_I)
{
  for (size_t i = 0; i < count_I; ++i) ClockBitsOut(data_I[i], 8);
}

void CSimMpsseEngine::ClockBitsOut(uint8_t data_I, int count_I)
{
  for (int bit = 7; bit > 7 - count_I; --bit) ClockBit(data_I >> bit & 1);
}

uint8_t CSimMpsseEngine::ClockBitsIn(int count_I)
{
  uint8_t value = 0;
  for (int i = 0; i < count_I; ++i) value = static_cast<uint8_t>(value << 1 | (ClockBit(-1) ? 1 : 0));
  return value;
}

void CSimMpsseEngine::ClockBytesIn(size_t count_I, std::vector<uint8_t>& bytes_IO)
{
  for (size_t i = 0; i < count_I; ++i) bytes_IO.push_back(ClockBitsIn(8));
}

}  // namespace orv::sim
