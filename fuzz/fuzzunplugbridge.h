// A bridge that is unplugged once the input is used up: from the next call on, the handle's calls fail with
// FT_IO_ERROR and no device is found, as when a cable is pulled. Past the input nothing can vary any more, so
// a conversation ends there instead of grinding through its retries against a slave that never answers.
#pragma once

#include "common/osd/cd2xx.h"
#include "fuzz/fuzzsupport.h"

namespace orv::fuzz {

class CUnplugBridge : public CD2XX {
 public:
  CUnplugBridge(CD2XX& inner_I, const CByteSource& source_I) : mInner(inner_I), mSource(source_I) {}

  FT_STATUS OpenEx(void* arg1_I, uint32_t flags_I, FT_HANDLE* handle_O) override
  {
    return Gone() ? FT_DEVICE_NOT_FOUND : mInner.OpenEx(arg1_I, flags_I, handle_O);
  }
  FT_STATUS ListDevices(void* arg1_IO, void* arg2_IO, uint32_t flags_I) override
  {
    return Gone() ? FT_DEVICE_NOT_FOUND : mInner.ListDevices(arg1_IO, arg2_IO, flags_I);
  }
  FT_STATUS Close(FT_HANDLE handle_I) override { return mInner.Close(handle_I); }
  FT_STATUS Read(FT_HANDLE handle_I, void* buffer_O, uint32_t toRead_I, uint32_t* read_O) override
  {
    if (read_O != nullptr) *read_O = 0;
    return Gone() ? FT_IO_ERROR : mInner.Read(handle_I, buffer_O, toRead_I, read_O);
  }
  FT_STATUS Write(FT_HANDLE handle_I, const void* buffer_I, uint32_t toWrite_I, uint32_t* written_O) override
  {
    if (written_O != nullptr) *written_O = 0;
    return Gone() ? FT_IO_ERROR : mInner.Write(handle_I, buffer_I, toWrite_I, written_O);
  }
  FT_STATUS ResetDevice(FT_HANDLE handle_I) override { return Gone() ? FT_IO_ERROR : mInner.ResetDevice(handle_I); }
  FT_STATUS SetChars(FT_HANDLE handle_I, uint8_t char_I, uint8_t enabled_I, uint8_t error_I, uint8_t errorEnabled_I) override
  {
    return Gone() ? FT_IO_ERROR : mInner.SetChars(handle_I, char_I, enabled_I, error_I, errorEnabled_I);
  }
  FT_STATUS SetTimeouts(FT_HANDLE handle_I, uint32_t readMs_I, uint32_t writeMs_I) override
  {
    return Gone() ? FT_IO_ERROR : mInner.SetTimeouts(handle_I, readMs_I, writeMs_I);
  }
  FT_STATUS GetQueueStatus(FT_HANDLE handle_I, uint32_t* bytes_O) override
  {
    if (bytes_O != nullptr) *bytes_O = 0;
    return Gone() ? FT_IO_ERROR : mInner.GetQueueStatus(handle_I, bytes_O);
  }
  FT_STATUS SetLatencyTimer(FT_HANDLE handle_I, uint8_t milliseconds_I) override
  {
    return Gone() ? FT_IO_ERROR : mInner.SetLatencyTimer(handle_I, milliseconds_I);
  }
  FT_STATUS SetBitMode(FT_HANDLE handle_I, uint8_t mask_I, uint8_t mode_I) override
  {
    return Gone() ? FT_IO_ERROR : mInner.SetBitMode(handle_I, mask_I, mode_I);
  }
  FT_STATUS SetUSBParameters(FT_HANDLE handle_I, uint32_t inSize_I, uint32_t outSize_I) override
  {
    return Gone() ? FT_IO_ERROR : mInner.SetUSBParameters(handle_I, inSize_I, outSize_I);
  }

 private:
  bool Gone() const { return mSource.Empty(); }

  CD2XX& mInner;
  const CByteSource& mSource;
};

}  // namespace orv::fuzz
