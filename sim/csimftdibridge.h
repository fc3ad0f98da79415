// An FT232H-like USB bridge in the place of the vendor's D2XX library: one device, found by index and opened
// by location, whose MPSSE drives a simulated I2C bus. Time on the installed clock: every write and every
// read costs a USB round trip, a write also the time its bits take on the wire, and bytes that no
// send-immediate pushes out wait for the latency timer, as on the chip.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

#include "common/osd/cd2xx.h"
#include "sim/csimi2cbus.h"
#include "sim/csimmpsse.h"

namespace orv::sim {

struct SSimBridgeConfig {
  uint32_t location = 0x1011;
  uint32_t roundTripUs = 1000;
  // Off: a bridge that hands every byte over at once, latency timer or not.
  bool honourLatencyTimer = true;
  // The first resetFailures calls of FT_ResetDevice fail with FT_IO_ERROR.
  uint32_t resetFailures = 0;
  // FT_OpenEx finds the device but fails with FT_DEVICE_NOT_OPENED (another program holds it).
  bool openFails = false;
};

struct SSimBridgeStats {
  uint64_t writes = 0, reads = 0, wireBits = 0, wireUs = 0, elapsedUs = 0;
};

class CSimFtdiBridge : public CD2XX {
 public:
  explicit CSimFtdiBridge(const SSimBridgeConfig& config_I = {});

  void Attach(std::shared_ptr<CSimI2CSlave> slave_I);
  SSimBridgeStats Stats();
  void ResetStats();
  // Unplugged: the device count is 0, opening fails and every call on a handle opened before fails with
  // FT_IO_ERROR until it is closed.
  void SetPresent(bool present_I);
  // Every FT_Write's bytes since the last call, oldest first (at most the latest kWriteLogLimit writes).
  std::vector<std::vector<uint8_t>> TakeWrites();
  // The SCL clock the host configured, for checks.
  uint32_t ClockHz();
  // The next count_I reads that wait for bytes return empty at their time-out; the bytes stay queued and go to
  // later reads (a USB transfer the host saw late).
  void StallReads(uint64_t count_I);

  static constexpr size_t kWriteLogLimit = 65536;

  FT_STATUS OpenEx(void* arg1_I, uint32_t flags_I, FT_HANDLE* handle_O) override;
  FT_STATUS ListDevices(void* arg1_IO, void* arg2_IO, uint32_t flags_I) override;
  FT_STATUS Close(FT_HANDLE handle_I) override;
  FT_STATUS Read(FT_HANDLE handle_I, void* buffer_O, uint32_t toRead_I, uint32_t* read_O) override;
  FT_STATUS Write(FT_HANDLE handle_I, const void* buffer_I, uint32_t toWrite_I, uint32_t* written_O) override;
  FT_STATUS ResetDevice(FT_HANDLE handle_I) override;
  FT_STATUS SetChars(FT_HANDLE handle_I, uint8_t eventChar_I, uint8_t eventCharEnabled_I, uint8_t errorChar_I,
                     uint8_t errorCharEnabled_I) override;
  FT_STATUS SetTimeouts(FT_HANDLE handle_I, uint32_t readMs_I, uint32_t writeMs_I) override;
  FT_STATUS GetQueueStatus(FT_HANDLE handle_I, uint32_t* bytes_O) override;
  FT_STATUS SetLatencyTimer(FT_HANDLE handle_I, uint8_t milliseconds_I) override;
  FT_STATUS SetBitMode(FT_HANDLE handle_I, uint8_t mask_I, uint8_t mode_I) override;
  FT_STATUS SetUSBParameters(FT_HANDLE handle_I, uint32_t inSize_I, uint32_t outSize_I) override;

 private:
  // A byte the MPSSE produced and the moment (virtual ns) the host can read it.
  struct SQueued {
    uint8_t byte;
    uint64_t readyNs;
  };

  FT_STATUS CheckHandle(FT_HANDLE handle_I) const;
  FT_HANDLE CurrentHandle() const;
  uint32_t DeviceCount() const;
  // Books time spent on the bridge; returns the whole milliseconds to pause (the rest is carried over).
  uint64_t Spend(uint64_t nanoseconds_I);
  // Now, counting the time booked but not paused yet.
  uint64_t NowNs(uint64_t pendingMs_I) const;
  void Queue(const SSimMpsseOutput& output_I, uint64_t nowNs_I);
  size_t ReadyBytes(uint64_t nowNs_I) const;
  FT_STATUS WriteLocked(FT_HANDLE handle_I, const uint8_t* bytes_I, uint32_t size_I, uint32_t* written_O,
                        uint64_t& pauseMs_O);
  FT_STATUS ReadLocked(FT_HANDLE handle_I, uint8_t* bytes_O, uint32_t size_I, uint32_t* read_O,
                       uint64_t& pauseMs_O);
  void PowerUp();

  const SSimBridgeConfig mConfig;
  std::mutex mLock;
  CSimI2CBus mBus;
  CSimMpsseEngine mEngine{mBus};
  bool mPresent = true;
  bool mOpen = false;
  // The device went away while this handle was open.
  bool mDead = false;
  uintptr_t mGeneration = 0;
  uint32_t mResetFailures;
  bool mMpsse = false;
  uint8_t mLatencyMs = 16;
  // 0 is the library's "no time-out"; a read that would wait for ever returns what it has at once.
  uint32_t mReadTimeoutMs = 0;
  uint64_t mStalledReads = 0;
  std::deque<SQueued> mQueue;
  std::deque<std::vector<uint8_t>> mWrites;
  uint64_t mCarryNs = 0;
  SSimBridgeStats mStats;
  uint64_t mWireNs = 0;
  uint64_t mElapsedNs = 0;
};

}  // namespace orv::sim
