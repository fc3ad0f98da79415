// The D2XX calls the scaler connector makes, over libftdi1, for machines without FTDI's own library.
//
// Devices are the MPSSE bridges on the bus (FT2232, FT4232H, FT232H) and nothing else, by bus path so that a
// port index is stable; where some share a hub with one of our boards (as a pen display's bridge does), only
// those. Any other FTDI device is never opened. A device's location is its bus number and address.
//
// The bridge's read packets carry two modem-status bytes each, which libftdi1 takes off. Reads wait on the
// installed clock up to the read time-out (none when it is 0) and then return what there is; the queue
// status is what a read of everything the bridge has ready would bring.
#pragma once

#include <deque>
#include <memory>
#include <vector>

#include "common/osd/cd2xx.h"
#include "linux/common/clinuxpermissions.h"

struct ftdi_context;

namespace orv {

class CLinuxFtdiD2XX : public CD2XX {
 public:
  explicit CLinuxFtdiD2XX(std::shared_ptr<CLinuxAccessLog> accessLog_I) : mAccessLog(std::move(accessLog_I)) {}
  ~CLinuxFtdiD2XX() override;
  CLinuxFtdiD2XX(const CLinuxFtdiD2XX&) = delete;
  CLinuxFtdiD2XX& operator=(const CLinuxFtdiD2XX&) = delete;

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
  struct SBridge {
    ftdi_context* context = nullptr;
    std::deque<uint8_t> received;
    uint32_t readTimeoutMs = 0;
  };

  // Opens the listed bridge at the location into the bridge's context.
  FT_STATUS OpenListed(SBridge& bridge_IO, uint32_t location_I);
  SBridge* Find(FT_HANDLE handle_I) const;
  // What the bridge has ready, up to wanted_I bytes, into the received bytes. libftdi1 stops at the first
  // transfer that brings enough, so asking for just what is missing costs one transfer.
  bool Collect(SBridge& bridge_IO, size_t wanted_I);

  std::shared_ptr<CLinuxAccessLog> mAccessLog;
  std::vector<std::unique_ptr<SBridge>> mBridges;
};

}  // namespace orv
