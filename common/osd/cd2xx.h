// The FTDI D2XX calls the scaler connector makes, as one replaceable table.
//
// The vendor's library is never linked: a platform binds its functions by name at run time (CFTDIExAPI32),
// and the simulation puts an MPSSE bridge of its own in the library's place. Anything installed here
// honours exactly the calls, arguments, status codes and byte streams the connector uses.
#pragma once

#include <cstdint>

#if defined(_WIN32) && !defined(_WIN64)
#define ORV_D2XX_CALL __stdcall
#else
#define ORV_D2XX_CALL
#endif

namespace orv {

using FT_HANDLE = void*;
using FT_STATUS = uint32_t;

// The library's own status codes (the ones the connector tells apart).
enum EFTStatus : FT_STATUS {
  FT_OK = 0,
  FT_INVALID_HANDLE = 1,
  FT_DEVICE_NOT_FOUND = 2,
  FT_DEVICE_NOT_OPENED = 3,
  FT_IO_ERROR = 4,
  FT_INVALID_PARAMETER = 6,
  FT_NOT_SUPPORTED = 17,
};

// FT_ListDevices and FT_OpenEx flags.
constexpr uint32_t FT_LIST_NUMBER_ONLY = 0x80000000;
constexpr uint32_t FT_LIST_BY_INDEX = 0x40000000;
constexpr uint32_t FT_OPEN_BY_LOCATION = 0x00000004;

// FT_SetBitMode modes.
constexpr uint8_t FT_BITMODE_RESET = 0x00;
constexpr uint8_t FT_BITMODE_MPSSE = 0x02;

// The twelve D2XX functions, with the library's signatures (DWORD and ULONG are 32-bit, UCHAR 8-bit).
//   ListDevices (FT_LIST_NUMBER_ONLY): arg1 -> uint32_t count, arg2 unused.
//   ListDevices (FT_LIST_BY_INDEX | FT_OPEN_BY_LOCATION): arg1 = the index as a pointer-sized integer,
//     arg2 -> uint32_t location.
//   OpenEx (FT_OPEN_BY_LOCATION): arg1 = the location as a pointer-sized integer.
class CD2XX {
 public:
  virtual ~CD2XX() = default;
  virtual FT_STATUS OpenEx(void* arg1_I, uint32_t flags_I, FT_HANDLE* handle_O) = 0;
  virtual FT_STATUS ListDevices(void* arg1_IO, void* arg2_IO, uint32_t flags_I) = 0;
  virtual FT_STATUS Close(FT_HANDLE handle_I) = 0;
  virtual FT_STATUS Read(FT_HANDLE handle_I, void* buffer_O, uint32_t toRead_I, uint32_t* read_O) = 0;
  virtual FT_STATUS Write(FT_HANDLE handle_I, const void* buffer_I, uint32_t toWrite_I, uint32_t* written_O) = 0;
  virtual FT_STATUS ResetDevice(FT_HANDLE handle_I) = 0;
  virtual FT_STATUS SetChars(FT_HANDLE handle_I, uint8_t eventChar_I, uint8_t eventCharEnabled_I,
                             uint8_t errorChar_I, uint8_t errorCharEnabled_I) = 0;
  virtual FT_STATUS SetTimeouts(FT_HANDLE handle_I, uint32_t readMs_I, uint32_t writeMs_I) = 0;
  virtual FT_STATUS GetQueueStatus(FT_HANDLE handle_I, uint32_t* bytes_O) = 0;
  virtual FT_STATUS SetLatencyTimer(FT_HANDLE handle_I, uint8_t milliseconds_I) = 0;
  virtual FT_STATUS SetBitMode(FT_HANDLE handle_I, uint8_t mask_I, uint8_t mode_I) = 0;
  virtual FT_STATUS SetUSBParameters(FT_HANDLE handle_I, uint32_t inSize_I, uint32_t outSize_I) = 0;
};

// The process-wide binding: the one a platform or the simulation installed, else the vendor's library bound
// by name (which, with no platform loader installed, behaves as a missing library).
CD2XX& D2XX();

// Installs a binding for the lifetime of this object and restores the previous one afterwards. Install it
// before the update worker starts and remove it after the worker ended.
class CScopedD2XX {
 public:
  explicit CScopedD2XX(CD2XX& binding_I);
  ~CScopedD2XX();
  CScopedD2XX(const CScopedD2XX&) = delete;
  CScopedD2XX& operator=(const CScopedD2XX&) = delete;

 private:
  CD2XX* mPrevious;
};

}  // namespace orv
