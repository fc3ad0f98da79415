// The vendor's D2XX library bound by name at run time.
//
// The library is never linked, so the updater starts and works on machines without the FTDI driver: each
// function is looked up on its first use, and a missing library or function makes that call report the
// assertion with the function's member name and fail with FT_NOT_SUPPORTED.
#pragma once

#include <memory>

#include "common/osd/cd2xx.h"

namespace orv {

// A shared library loaded (or found already loaded) at run time; each platform supplies the module calls.
class CImportLibrary {
 public:
  using Proc = void (*)();

  // quiet_I: a missing library or function raises no assertion here.
  explicit CImportLibrary(bool quiet_I) : mQuiet(quiet_I) {}
  virtual ~CImportLibrary() = default;

  bool Load();
  // Empty when the library or the function is missing.
  Proc GetProc(const char* name_I);

 protected:
  virtual bool OpenModule() = 0;
  virtual Proc FindSymbol(const char* name_I) = 0;

 private:
  bool mQuiet;
  bool mLoaded = false;
};

class CFTDIExAPI32 : public CD2XX {
 public:
  // An empty library behaves as one that is not installed. The library is loaded at once.
  explicit CFTDIExAPI32(std::unique_ptr<CImportLibrary> library_I);

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
  // The pin mask is always 0x00: the MPSSE commands set the directions.
  FT_STATUS SetBitMode(FT_HANDLE handle_I, uint8_t mask_I, uint8_t mode_I) override;
  FT_STATUS SetUSBParameters(FT_HANDLE handle_I, uint32_t inSize_I, uint32_t outSize_I) override;

 private:
  using OpenExFn = FT_STATUS(ORV_D2XX_CALL*)(void*, uint32_t, FT_HANDLE*);
  using ListDevicesFn = FT_STATUS(ORV_D2XX_CALL*)(void*, void*, uint32_t);
  using HandleFn = FT_STATUS(ORV_D2XX_CALL*)(FT_HANDLE);
  using ReadFn = FT_STATUS(ORV_D2XX_CALL*)(FT_HANDLE, void*, uint32_t, uint32_t*);
  using WriteFn = FT_STATUS(ORV_D2XX_CALL*)(FT_HANDLE, const void*, uint32_t, uint32_t*);
  using SetCharsFn = FT_STATUS(ORV_D2XX_CALL*)(FT_HANDLE, uint8_t, uint8_t, uint8_t, uint8_t);
  using TwoValuesFn = FT_STATUS(ORV_D2XX_CALL*)(FT_HANDLE, uint32_t, uint32_t);
  using QueueStatusFn = FT_STATUS(ORV_D2XX_CALL*)(FT_HANDLE, uint32_t*);
  using ByteFn = FT_STATUS(ORV_D2XX_CALL*)(FT_HANDLE, uint8_t);
  using BitModeFn = FT_STATUS(ORV_D2XX_CALL*)(FT_HANDLE, uint8_t, uint8_t);

  // The cached function, bound on first use; empty (after the assertion naming member_I) when missing.
  template <typename F>
  F Bound(F& cache_IO, const char* function_I, const char* member_I);

  std::unique_ptr<CImportLibrary> mLibrary;
  OpenExFn mOpen = nullptr;
  ListDevicesFn mList = nullptr;
  HandleFn mClose = nullptr;
  ReadFn mRead = nullptr;
  WriteFn mWrite = nullptr;
  HandleFn mReset = nullptr;
  SetCharsFn mSetChars = nullptr;
  TwoValuesFn mSetTimeouts = nullptr;
  QueueStatusFn mGetQueueStatus = nullptr;
  ByteFn mSetLatency = nullptr;
  BitModeFn mSetBitMode = nullptr;
  TwoValuesFn mSetUSBParams = nullptr;
};

}  // namespace orv
