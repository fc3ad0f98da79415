#include "sim/csimftdibridge.h"

#include <algorithm>
#include <utility>

#include "common/cclock.h"

namespace orv::sim {
namespace {

constexpr uint64_t kNsPerUs = 1000;
constexpr uint64_t kNsPerMs = 1000000;
// Handles are small made-up values, a new one for every open, so a stale handle is told apart.
constexpr uintptr_t kHandleBase = 0x5100;
// The USB transfer sizes the chip takes: multiples of 64 bytes up to 64 KiB.
constexpr uint32_t kUsbSizeStep = 64;
constexpr uint32_t kUsbSizeMax = 65536;

void PauseMs(uint64_t milliseconds_I)
{
  if (milliseconds_I != 0) Pause(static_cast<uint32_t>(milliseconds_I));
}

}  // namespace

CSimFtdiBridge::CSimFtdiBridge(const SSimBridgeConfig& config_I)
    : mConfig(config_I), mResetFailures(config_I.resetFailures)
{
}

void CSimFtdiBridge::Attach(std::shared_ptr<CSimI2CSlave> slave_I)
{
  std::lock_guard<std::mutex> guard(mLock);
  mBus.Attach(std::move(slave_I));
}

SSimBridgeStats CSimFtdiBridge::Stats()
{
  std::lock_guard<std::mutex> guard(mLock);
  SSimBridgeStats stats = mStats;
  stats.wireUs = mWireNs / kNsPerUs;
  stats.elapsedUs = mElapsedNs / kNsPerUs;
  return stats;
}

void CSimFtdiBridge::ResetStats()
{
  std::lock_guard<std::mutex> guard(mLock);
  mStats = {};
  mWireNs = 0;
  mElapsedNs = 0;
}

void CSimFtdiBridge::SetPresent(bool present_I)
{
  std::lock_guard<std::mutex> guard(mLock);
  if (present_I == mPresent) return;
  mPresent = present_I;
  if (!mPresent && mOpen) mDead = true;
  PowerUp();
}

std::vector<std::vector<uint8_t>> CSimFtdiBridge::TakeWrites()
{
  std::lock_guard<std::mutex> guard(mLock);
  std::vector<std::vector<uint8_t>> writes(std::make_move_iterator(mWrites.begin()),
                                           std::make_move_iterator(mWrites.end()));
  mWrites.clear();
  return writes;
}

uint32_t CSimFtdiBridge::ClockHz()
{
  std::lock_guard<std::mutex> guard(mLock);
  return mEngine.ClockHz();
}

void CSimFtdiBridge::PowerUp()
{
  mMpsse = false;
  mQueue.clear();
  mEngine.Reset();
}

uint32_t CSimFtdiBridge::DeviceCount() const { return mPresent ? 1 : 0; }

FT_HANDLE CSimFtdiBridge::CurrentHandle() const
{
  return reinterpret_cast<FT_HANDLE>(kHandleBase + mGeneration);
}

FT_STATUS CSimFtdiBridge::CheckHandle(FT_HANDLE handle_I) const
{
  if (!mOpen || handle_I != CurrentHandle()) return FT_INVALID_HANDLE;
  return mDead ? FT_IO_ERROR : FT_OK;
}

uint64_t CSimFtdiBridge::Spend(uint64_t nanoseconds_I)
{
  mElapsedNs += nanoseconds_I;
  mCarryNs += nanoseconds_I;
  const uint64_t milliseconds = mCarryNs / kNsPerMs;
  mCarryNs %= kNsPerMs;
  return milliseconds;
}

uint64_t CSimFtdiBridge::NowNs(uint64_t pendingMs_I) const
{
  return (Clock().NowMs() + pendingMs_I) * kNsPerMs + mCarryNs;
}

FT_STATUS CSimFtdiBridge::ListDevices(void* arg1_IO, void* arg2_IO, uint32_t flags_I)
{
  std::lock_guard<std::mutex> guard(mLock);
  if (flags_I == FT_LIST_NUMBER_ONLY) {
    if (!arg1_IO) return FT_INVALID_PARAMETER;
    *static_cast<uint32_t*>(arg1_IO) = DeviceCount();
    return FT_OK;
  }
  if (flags_I != (FT_LIST_BY_INDEX | FT_OPEN_BY_LOCATION) || !arg2_IO) return FT_INVALID_PARAMETER;
  if (reinterpret_cast<uintptr_t>(arg1_IO) >= DeviceCount()) return FT_DEVICE_NOT_FOUND;
  *static_cast<uint32_t*>(arg2_IO) = mConfig.location;
  return FT_OK;
}

FT_STATUS CSimFtdiBridge::OpenEx(void* arg1_I, uint32_t flags_I, FT_HANDLE* handle_O)
{
  std::lock_guard<std::mutex> guard(mLock);
  if (flags_I != FT_OPEN_BY_LOCATION || !handle_O) return FT_INVALID_PARAMETER;
  if (!mPresent || reinterpret_cast<uintptr_t>(arg1_I) != mConfig.location) return FT_DEVICE_NOT_FOUND;
  // The chip serves one handle at a time; one left over from before an unplug is gone.
  if (mConfig.openFails || (mOpen && !mDead)) return FT_DEVICE_NOT_OPENED;
  ++mGeneration;
  mOpen = true;
  mDead = false;
  *handle_O = CurrentHandle();
  return FT_OK;
}

FT_STATUS CSimFtdiBridge::Close(FT_HANDLE handle_I)
{
  std::lock_guard<std::mutex> guard(mLock);
  if (!mOpen || handle_I != CurrentHandle()) return FT_INVALID_HANDLE;
  mOpen = false;
  mDead = false;
  return FT_OK;
}

FT_STATUS CSimFtdiBridge::ResetDevice(FT_HANDLE handle_I)
{
  std::lock_guard<std::mutex> guard(mLock);
  if (const FT_STATUS status = CheckHandle(handle_I); status != FT_OK) return status;
  if (mResetFailures > 0) {
    --mResetFailures;
    return FT_IO_ERROR;
  }
  PowerUp();
  return FT_OK;
}

FT_STATUS CSimFtdiBridge::SetChars(FT_HANDLE handle_I, uint8_t, uint8_t, uint8_t, uint8_t)
{
  std::lock_guard<std::mutex> guard(mLock);
  return CheckHandle(handle_I);
}

FT_STATUS CSimFtdiBridge::SetTimeouts(FT_HANDLE handle_I, uint32_t readMs_I, uint32_t)
{
  std::lock_guard<std::mutex> guard(mLock);
  const FT_STATUS status = CheckHandle(handle_I);
  if (status == FT_OK) mReadTimeoutMs = readMs_I;
  return status;
}

FT_STATUS CSimFtdiBridge::SetLatencyTimer(FT_HANDLE handle_I, uint8_t milliseconds_I)
{
  std::lock_guard<std::mutex> guard(mLock);
  const FT_STATUS status = CheckHandle(handle_I);
  if (status == FT_OK) mLatencyMs = milliseconds_I;
  return status;
}

FT_STATUS CSimFtdiBridge::SetUSBParameters(FT_HANDLE handle_I, uint32_t inSize_I, uint32_t)
{
  std::lock_guard<std::mutex> guard(mLock);
  if (const FT_STATUS status = CheckHandle(handle_I); status != FT_OK) return status;
  const bool valid = inSize_I >= kUsbSizeStep && inSize_I <= kUsbSizeMax && inSize_I % kUsbSizeStep == 0;
  return valid ? FT_OK : FT_INVALID_PARAMETER;
}

FT_STATUS CSimFtdiBridge::SetBitMode(FT_HANDLE handle_I, uint8_t, uint8_t mode_I)
{
  std::lock_guard<std::mutex> guard(mLock);
  if (const FT_STATUS status = CheckHandle(handle_I); status != FT_OK) return status;
  // Every mode change starts the MPSSE afresh (pins released); modes other than MPSSE ignore written bytes.
  mEngine.Reset();
  mMpsse = mode_I == FT_BITMODE_MPSSE;
  return FT_OK;
}

FT_STATUS CSimFtdiBridge::GetQueueStatus(FT_HANDLE handle_I, uint32_t* bytes_O)
{
  std::lock_guard<std::mutex> guard(mLock);
  if (const FT_STATUS status = CheckHandle(handle_I); status != FT_OK) return status;
  if (!bytes_O) return FT_INVALID_PARAMETER;
  *bytes_O = static_cast<uint32_t>(ReadyBytes(NowNs(0)));
  return FT_OK;
}

FT_STATUS CSimFtdiBridge::Write(FT_HANDLE handle_I, const void* buffer_I, uint32_t toWrite_I, uint32_t* written_O)
{
  uint64_t pauseMs = 0;
  FT_STATUS status;
  {
    std::lock_guard<std::mutex> guard(mLock);
    status = WriteLocked(handle_I, static_cast<const uint8_t*>(buffer_I), toWrite_I, written_O, pauseMs);
  }
  // Never pause under the lock: another thread reading the statistics must not wait for virtual time.
  PauseMs(pauseMs);
  return status;
}

FT_STATUS CSimFtdiBridge::WriteLocked(FT_HANDLE handle_I, const uint8_t* bytes_I, uint32_t size_I,
                                      uint32_t* written_O, uint64_t& pauseMs_O)
{
  if (const FT_STATUS status = CheckHandle(handle_I); status != FT_OK) return status;
  if (!written_O || (!bytes_I && size_I != 0)) return FT_INVALID_PARAMETER;
  mWrites.emplace_back(bytes_I, bytes_I + size_I);
  if (mWrites.size() > kWriteLogLimit) mWrites.pop_front();
  ++mStats.writes;
  const uint64_t bitsBefore = mEngine.Bits();
  const uint64_t wireBefore = mEngine.WireNs();
  SSimMpsseOutput output;
  if (mMpsse) output = mEngine.Feed(bytes_I, size_I);
  const uint64_t wireNs = mEngine.WireNs() - wireBefore;
  mStats.wireBits += mEngine.Bits() - bitsBefore;
  mWireNs += wireNs;
  pauseMs_O = Spend(mConfig.roundTripUs * kNsPerUs + wireNs);
  Queue(output, NowNs(pauseMs_O));
  *written_O = size_I;
  return FT_OK;
}

void CSimFtdiBridge::Queue(const SSimMpsseOutput& output_I, uint64_t nowNs_I)
{
  if (output_I.sendImmediate) {
    for (SQueued& queued : mQueue) queued.readyNs = std::min(queued.readyNs, nowNs_I);
  }
  const uint64_t later = mConfig.honourLatencyTimer ? nowNs_I + mLatencyMs * kNsPerMs : nowNs_I;
  for (size_t i = 0; i < output_I.bytes.size(); ++i) {
    const bool immediate = output_I.sendImmediate && i < output_I.immediate;
    mQueue.push_back({output_I.bytes[i], immediate ? nowNs_I : later});
  }
}

size_t CSimFtdiBridge::ReadyBytes(uint64_t nowNs_I) const
{
  // Bytes become ready in queue order: a send-immediate pushes out everything before it.
  size_t ready = 0;
  while (ready < mQueue.size() && mQueue[ready].readyNs <= nowNs_I) ++ready;
  return ready;
}

FT_STATUS CSimFtdiBridge::Read(FT_HANDLE handle_I, void* buffer_O, uint32_t toRead_I, uint32_t* read_O)
{
  uint64_t pauseMs = 0;
  FT_STATUS status;
  {
    std::lock_guard<std::mutex> guard(mLock);
    status = ReadLocked(handle_I, static_cast<uint8_t*>(buffer_O), toRead_I, read_O, pauseMs);
  }
  PauseMs(pauseMs);
  return status;
}

void CSimFtdiBridge::StallReads(uint64_t count_I)
{
  std::lock_guard<std::mutex> guard(mLock);
  mStalledReads = count_I;
}

FT_STATUS CSimFtdiBridge::ReadLocked(FT_HANDLE handle_I, uint8_t* bytes_O, uint32_t size_I, uint32_t* read_O,
                                     uint64_t& pauseMs_O)
{
  if (const FT_STATUS status = CheckHandle(handle_I); status != FT_OK) return status;
  if (!read_O || (!bytes_O && size_I != 0)) return FT_INVALID_PARAMETER;
  ++mStats.reads;
  pauseMs_O = Spend(mConfig.roundTripUs * kNsPerUs);
  uint64_t now = NowNs(pauseMs_O);
  // Wait for the last byte asked for, or the read time-out when that many will never come.
  const uint64_t timeoutNs = mReadTimeoutMs * kNsPerMs;
  if (size_I != 0 && TakeSimFault(mStalledReads)) {
    pauseMs_O += Spend(timeoutNs);
    *read_O = 0;
    return FT_OK;
  }
  uint64_t waitNs = 0;
  if (size_I > mQueue.size()) {
    waitNs = timeoutNs;
  } else if (size_I != 0) {
    const uint64_t readyNs = mQueue[size_I - 1].readyNs;
    waitNs = std::min(timeoutNs, readyNs > now ? readyNs - now : 0);
  }
  pauseMs_O += Spend(waitNs);
  now += waitNs;
  const size_t count = std::min<size_t>(size_I, ReadyBytes(now));
  for (size_t i = 0; i < count; ++i) {
    bytes_O[i] = mQueue.front().byte;
    mQueue.pop_front();
  }
  *read_O = static_cast<uint32_t>(count);
  return FT_OK;
}

}  // namespace orv::sim
