#include "fuzz/fuzzbridge.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "common/cclock.h"

namespace orv::fuzz {
namespace {

constexpr uint32_t kLocation = 0x1011;
const FT_HANDLE kHandle = reinterpret_cast<FT_HANDLE>(uintptr_t{0x5101});
constexpr uint8_t kScl = 0x01;
constexpr uint8_t kSdaOut = 0x02;
constexpr uint64_t kTicksPerUs = 60;
constexpr uint64_t kNsPerMs = 1000000;

size_t Length16(const uint8_t* bytes_I) { return (bytes_I[0] | bytes_I[1] << 8) + 1u; }

uint64_t Word(const uint8_t* bytes_I)
{
  uint64_t word = 0;
  std::memcpy(&word, bytes_I, sizeof word);
  return word;
}

bool SamePins(const uint8_t* previous_I, const uint8_t* command_I)
{
  return previous_I != nullptr && previous_I[0] == 0x80 && command_I[0] == 0x80 && previous_I[1] == command_I[1] &&
         previous_I[2] == command_I[2];
}

// How the connector writes each byte of a batch: the byte out on the falling edge, SCL low with SDA released,
// the acknowledge bit clocked in, SDA driven low and then released, SCL low throughout.
constexpr size_t kBatchWriteByteAt = 3;
constexpr std::array<uint8_t, 15> kBatchWrite = {0x11, 0x00, 0x00, 0x00, 0x80, 0x00, 0x01, 0x22,
                                                 0x00, 0x80, 0x00, 0x03, 0x80, 0x02, 0x03};

}  // namespace

FT_STATUS CFuzzBridge::Check(FT_HANDLE handle_I) const
{
  return mOpen && handle_I == kHandle ? FT_OK : FT_INVALID_HANDLE;
}

FT_STATUS CFuzzBridge::ListDevices(void* arg1_IO, void* arg2_IO, uint32_t flags_I)
{
  if (flags_I == FT_LIST_NUMBER_ONLY) {
    if (!arg1_IO) return FT_INVALID_PARAMETER;
    *static_cast<uint32_t*>(arg1_IO) = 1;
    return FT_OK;
  }
  if (flags_I != (FT_LIST_BY_INDEX | FT_OPEN_BY_LOCATION) || !arg2_IO) return FT_INVALID_PARAMETER;
  if (reinterpret_cast<uintptr_t>(arg1_IO) != 0) return FT_DEVICE_NOT_FOUND;
  *static_cast<uint32_t*>(arg2_IO) = kLocation;
  return FT_OK;
}

FT_STATUS CFuzzBridge::OpenEx(void* arg1_I, uint32_t flags_I, FT_HANDLE* handle_O)
{
  if (flags_I != FT_OPEN_BY_LOCATION || !handle_O) return FT_INVALID_PARAMETER;
  if (reinterpret_cast<uintptr_t>(arg1_I) != kLocation) return FT_DEVICE_NOT_FOUND;
  if (mOpen) return FT_DEVICE_NOT_OPENED;
  mOpen = true;
  *handle_O = kHandle;
  return FT_OK;
}

FT_STATUS CFuzzBridge::Close(FT_HANDLE handle_I)
{
  if (const FT_STATUS status = Check(handle_I); status != FT_OK) return status;
  mOpen = false;
  return FT_OK;
}

void CFuzzBridge::Spend(uint64_t nanoseconds_I)
{
  mCarryNs += nanoseconds_I;
  const uint64_t milliseconds = mCarryNs / kNsPerMs;
  mCarryNs %= kNsPerMs;
  if (milliseconds != 0) Pause(static_cast<uint32_t>(milliseconds));
}

void CFuzzBridge::ClockSettingsReset()
{
  mDivisor = 0;
  mDivideBy5 = true;
  mThreePhase = false;
}

FT_STATUS CFuzzBridge::SetTimeouts(FT_HANDLE handle_I, uint32_t readMs_I, uint32_t)
{
  const FT_STATUS status = Check(handle_I);
  if (status == FT_OK) mReadTimeoutMs = readMs_I;
  return status;
}

void CFuzzBridge::PowerUp()
{
  ClockSettingsReset();
  mMpsse = false;
  mOutput.clear();
  mOutputRead = 0;
  mPending.clear();
  mLoopBack = false;
  SetLowPins(0, 0);
}

FT_STATUS CFuzzBridge::ResetDevice(FT_HANDLE handle_I)
{
  if (const FT_STATUS status = Check(handle_I); status != FT_OK) return status;
  PowerUp();
  return FT_OK;
}

FT_STATUS CFuzzBridge::SetBitMode(FT_HANDLE handle_I, uint8_t, uint8_t mode_I)
{
  if (const FT_STATUS status = Check(handle_I); status != FT_OK) return status;
  mPending.clear();
  mLoopBack = false;
  ClockSettingsReset();
  SetLowPins(0, 0);
  mMpsse = mode_I == FT_BITMODE_MPSSE;
  return FT_OK;
}

FT_STATUS CFuzzBridge::GetQueueStatus(FT_HANDLE handle_I, uint32_t* bytes_O)
{
  if (const FT_STATUS status = Check(handle_I); status != FT_OK) return status;
  if (!bytes_O) return FT_INVALID_PARAMETER;
  *bytes_O = static_cast<uint32_t>(mOutput.size() - mOutputRead);
  return FT_OK;
}

FT_STATUS CFuzzBridge::Read(FT_HANDLE handle_I, void* buffer_O, uint32_t toRead_I, uint32_t* read_O)
{
  if (const FT_STATUS status = Check(handle_I); status != FT_OK) return status;
  if (!read_O || (!buffer_O && toRead_I != 0)) return FT_INVALID_PARAMETER;
  // A read that asks for more than will ever come waits for its time-out.
  if (toRead_I > mOutput.size() - mOutputRead) Spend(uint64_t{mReadTimeoutMs} * kNsPerMs);
  const size_t count = std::min<size_t>(toRead_I, mOutput.size() - mOutputRead);
  std::copy_n(mOutput.begin() + static_cast<std::ptrdiff_t>(mOutputRead), count, static_cast<uint8_t*>(buffer_O));
  mOutputRead += count;
  if (mOutputRead == mOutput.size()) {
    mOutput.clear();
    mOutputRead = 0;
  }
  *read_O = static_cast<uint32_t>(count);
  return FT_OK;
}

FT_STATUS CFuzzBridge::Write(FT_HANDLE handle_I, const void* buffer_I, uint32_t toWrite_I, uint32_t* written_O)
{
  if (const FT_STATUS status = Check(handle_I); status != FT_OK) return status;
  if (!written_O || (!buffer_I && toWrite_I != 0)) return FT_INVALID_PARAMETER;
  *written_O = toWrite_I;
  if (!mMpsse) return FT_OK;
  const uint64_t wireNsBefore = mWireTicks * 1000 / kTicksPerUs;
  const auto* bytes = static_cast<const uint8_t*>(buffer_I);
  mPending.insert(mPending.end(), bytes, bytes + toWrite_I);
  size_t at = 0;
  const uint8_t* previous = nullptr;
  while (at < mPending.size()) {
    if (BatchWriteAt(at)) {
      BatchWrite(mPending[at + kBatchWriteByteAt]);
      at += kBatchWrite.size();
      previous = nullptr;
      continue;
    }
    const size_t length = CommandLength(at);
    if (length == 0 || at + length > mPending.size()) break;
    const uint8_t* command = &mPending[at];
    // Pins set again to the levels the command just before set them to change nothing: that one left both lines
    // at them, so no edge, start or stop follows. A start or stop holds each level four commands long.
    if (!SamePins(previous, command)) Execute(command);
    previous = command;
    at += length;
  }
  mPending.erase(mPending.begin(), mPending.begin() + static_cast<std::ptrdiff_t>(at));
  Spend(mWireTicks * 1000 / kTicksPerUs - wireNsBefore);
  return FT_OK;
}

size_t CFuzzBridge::CommandLength(size_t at_I) const
{
  const size_t available = mPending.size() - at_I;
  if (available == 0) return 0;
  switch (mPending[at_I]) {
    case 0x11: return available < 3 ? 0 : 3 + Length16(&mPending[at_I + 1]);
    case 0x13:
    case 0x24:
    case 0x80:
    case 0x82:
    case 0x86:
    case 0x9E: return 3;
    case 0x22: return 2;
    default: return 1;
  }
}

void CFuzzBridge::Execute(const uint8_t* command_I)
{
  switch (command_I[0]) {
    case 0x11:
      for (size_t i = 0, count = Length16(command_I + 1); i < count; ++i) ByteOut(command_I[3 + i]);
      return;
    case 0x13:
      for (int bit = 7; bit > 7 - ((command_I[1] & 7) + 1); --bit) ClockBit(command_I[2] >> bit & 1);
      return;
    case 0x22: {
      uint8_t value = 0;
      for (int i = 0; i < (command_I[1] & 7) + 1; ++i) value = static_cast<uint8_t>(value << 1 | ClockBit(-1));
      mOutput.push_back(value);
      return;
    }
    case 0x24:
      for (size_t i = 0, count = Length16(command_I + 1); i < count; ++i) mOutput.push_back(ByteIn());
      return;
    case 0x80: SetLowPins(command_I[1], command_I[2]); return;
    case 0x84: mLoopBack = true; return;
    case 0x85: mLoopBack = false; return;
    case 0x86: mDivisor = static_cast<uint16_t>(command_I[1] | command_I[2] << 8); return;
    case 0x8A: mDivideBy5 = false; return;
    case 0x8B: mDivideBy5 = true; return;
    case 0x8C: mThreePhase = true; return;
    case 0x8D: mThreePhase = false; return;
    // The high pins, adaptive clocking, drive-only-zero and send-immediate change nothing the slave sees.
    case 0x82:
    case 0x87:
    case 0x96:
    case 0x97:
    case 0x9E: return;
    default:
      mOutput.push_back(0xFA);
      mOutput.push_back(command_I[0]);
      return;
  }
}

// As on the bus: when the clock rises the data line changes first; otherwise the clock changes first, and a
// data line that then changes under a high clock is a start or a stop.
void CFuzzBridge::SetLowPins(uint8_t value_I, uint8_t direction_I)
{
  const bool scl = (direction_I & kScl) == 0 || (value_I & kScl) != 0;
  const bool sda = (direction_I & kSdaOut) == 0 || (value_I & kSdaOut) != 0;
  if (scl && !mScl) {
    mSda = sda;
    mScl = true;
    RisingEdge();
    return;
  }
  if (!scl && mScl) {
    mScl = false;
    FallingEdge();
  }
  const bool before = Line();
  mSda = sda;
  if (!mScl || Line() == before) return;
  if (Line()) {
    StopCondition();
  } else {
    StartCondition();
  }
}

void CFuzzBridge::StartCondition()
{
  if (mSelected) mSlave->Stop();
  mSelected = false;
  mSlaveSda = true;
  mPhase = EPHASE_RECEIVE;
  mAddressing = true;
  mBits = 0;
  mShift = 0;
}

void CFuzzBridge::StopCondition()
{
  if (mSelected) mSlave->Stop();
  mSelected = false;
  mSlaveSda = true;
  mPhase = EPHASE_IDLE;
}

void CFuzzBridge::RisingEdge()
{
  if (mPhase == EPHASE_RECEIVE && mBits < 8) {
    mShift = static_cast<uint8_t>(mShift << 1 | (Line() ? 1 : 0));
    ++mBits;
  } else if (mPhase == EPHASE_TRANSMIT) {
    ++mBits;
  } else if (mPhase == EPHASE_ACK_IN) {
    mMasterAcknowledged = !Line();
  }
}

void CFuzzBridge::FallingEdge()
{
  switch (mPhase) {
    case EPHASE_RECEIVE:
      if (mBits == 8) ByteReceived(mShift);
      return;
    case EPHASE_ACK_OUT:
      mSlaveSda = true;
      if (!mSelected) {
        mPhase = EPHASE_IDLE;
      } else if (mReading) {
        LoadTransmitByte();
      } else {
        mPhase = EPHASE_RECEIVE;
        mBits = 0;
        mShift = 0;
      }
      return;
    case EPHASE_TRANSMIT:
      if (mBits < 8) {
        mSlaveSda = (mShift >> (7 - mBits) & 1) != 0;
        return;
      }
      mSlaveSda = true;
      mPhase = EPHASE_ACK_IN;
      return;
    case EPHASE_ACK_IN:
      // A master that does not acknowledge ends the read; the slave lets go and waits for the stop.
      if (mMasterAcknowledged) {
        LoadTransmitByte();
      } else {
        mPhase = EPHASE_IDLE;
      }
      return;
    case EPHASE_IDLE: return;
  }
}

void CFuzzBridge::ByteReceived(uint8_t byte_I)
{
  mBits = 0;
  mShift = 0;
  if (mAddressing) {
    mAddressing = false;
    mReading = (byte_I & 1) != 0;
    mSelected = mSlave->Address(byte_I);
    mSlaveSda = !mSelected;
  } else {
    mSlaveSda = !(mSelected && mSlave->WriteByte(byte_I));
  }
  mPhase = EPHASE_ACK_OUT;
}

void CFuzzBridge::LoadTransmitByte()
{
  mShift = mSlave->ReadByte();
  mBits = 0;
  mSlaveSda = (mShift & 0x80) != 0;
  mPhase = EPHASE_TRANSMIT;
}

bool CFuzzBridge::ClockBit(int out_I)
{
  mWireTicks += BitTicks();
  const bool idleHigh = mScl;
  if (idleHigh) {
    mScl = false;
    FallingEdge();
  }
  if (out_I >= 0) mSda = out_I != 0;
  mScl = true;
  const bool in = mLoopBack ? mSda : Line();
  RisingEdge();
  if (!idleHigh) {
    mScl = false;
    FallingEdge();
  }
  return in;
}

// A whole byte at once where the clock idles low and the byte starts on a byte boundary, which is how the
// connector clocks; anything else bit by bit.
void CFuzzBridge::ByteOut(uint8_t byte_I)
{
  if (mScl || mLoopBack || mPhase != EPHASE_RECEIVE || mBits != 0) {
    for (int bit = 7; bit >= 0; --bit) ClockBit(byte_I >> bit & 1);
    return;
  }
  // The slave leaves the line to the master while it receives; the master's last bit stays on its pin.
  mWireTicks += 8 * BitTicks();
  mSda = (byte_I & 1) != 0;
  ByteReceived(byte_I);
}

// Where the byte would go out at once (see ByteOut), the five commands change nothing the slave sees but
// the byte and the acknowledge clock: the pins only move under a low clock, and the acknowledge is read with SDA
// released, so the line is the slave's.
bool CFuzzBridge::BatchWriteAt(size_t at_I) const
{
  if (mScl || mLoopBack || mPhase != EPHASE_RECEIVE || mBits != 0) return false;
  if (mPending.size() - at_I < kBatchWrite.size()) return false;
  // As two overlapping words, the byte's place masked out: a memcmp would also feed the bridge's own bytes to the
  // fuzzer's comparison hints.
  const uint8_t* command = &mPending[at_I];
  std::array<uint8_t, sizeof(uint64_t)> head{};
  std::copy_n(command, head.size(), head.begin());
  head[kBatchWriteByteAt] = kBatchWrite[kBatchWriteByteAt];
  const size_t tail = kBatchWrite.size() - head.size();
  return Word(head.data()) == Word(kBatchWrite.data()) && Word(command + tail) == Word(kBatchWrite.data() + tail);
}

void CFuzzBridge::BatchWrite(uint8_t byte_I)
{
  mWireTicks += 9 * BitTicks();
  ByteReceived(byte_I);
  const bool notAcknowledged = mSlaveSda;
  FallingEdge();
  mOutput.push_back(notAcknowledged ? 1 : 0);
  mSda = true;
}

uint8_t CFuzzBridge::ByteIn()
{
  if (mScl || mLoopBack || mPhase != EPHASE_TRANSMIT || mBits != 0 || !mSda) {
    uint8_t value = 0;
    for (int i = 0; i < 8; ++i) value = static_cast<uint8_t>(value << 1 | ClockBit(-1));
    return value;
  }
  mWireTicks += 8 * BitTicks();
  const uint8_t value = mShift;
  mBits = 8;
  mSlaveSda = true;
  mPhase = EPHASE_ACK_IN;
  return value;
}

}  // namespace orv::fuzz
