// The D2XX binding of the Linux program: FTDI's own libftd2xx when it can be loaded (with libftdi1 behind it
// for a bridge it cannot open), else the same calls over libftdi1, so that the scaler update works with the
// distribution's packages alone.
#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <string>

#include "common/osd/cftdiexapi32.h"
#include "linux/common/clinuxpermissions.h"

namespace orv {

constexpr const char* kD2XXLibraryName = "libftd2xx.so";
// Names another D2XX library to load; "none" never loads one.
constexpr const char* kD2XXLibraryVariable = "ORVEL_D2XX_LIBRARY";

// A shared library opened with dlopen and released with the object.
class CLinuxImportLibrary : public CImportLibrary {
 public:
  CLinuxImportLibrary(std::string name_I, bool quiet_I) : CImportLibrary(quiet_I), mName(std::move(name_I)) {}
  ~CLinuxImportLibrary() override;
  CLinuxImportLibrary(const CLinuxImportLibrary&) = delete;
  CLinuxImportLibrary& operator=(const CLinuxImportLibrary&) = delete;

 protected:
  bool OpenModule() override;
  Proc FindSymbol(const char* name_I) override;

 private:
  std::string mName;
  void* mHandle = nullptr;
};

// FTDI's own library, and libftdi1 from the first time the former cannot open a bridge (FT_DEVICE_NOT_OPENED:
// ftdi_sio still bound to it, or no permission) or lists FTDI devices that are no bridges, which the log then
// says. The bridge is the one libftdi1 lists
// at the index FTDI's library listed it at, when both list as many; otherwise it is not opened, since the
// two libraries would name different devices. Each handle goes to the library that opened it.
class CLinuxFallbackD2XX : public CD2XX {
 public:
  CLinuxFallbackD2XX(std::unique_ptr<CD2XX> vendor_I, std::unique_ptr<CD2XX> fallback_I)
      : mVendor(std::move(vendor_I)), mFallback(std::move(fallback_I))
  {
  }

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
  CD2XX& Listing() { return mFallingBack ? *mFallback : *mVendor; }
  CD2XX& Owner(FT_HANDLE handle_I) { return mFallbackHandles.count(handle_I) > 0 ? *mFallback : *mVendor; }
  // Falls back to libftdi1 when FTDI's library lists more devices than there are bridges.
  FT_STATUS CountOnlyBridges(uint32_t& count_IO);
  // The libftdi1 open of the bridge FTDI's library could not open.
  FT_STATUS OpenInstead(uint32_t location_I, FT_HANDLE* handle_O);

  std::unique_ptr<CD2XX> mVendor;
  std::unique_ptr<CD2XX> mFallback;
  bool mFallingBack = false;
  // What FTDI's library listed last: the count, and the index and location of a bridge.
  uint32_t mVendorCount = 0;
  uintptr_t mListedIndex = 0;
  uint32_t mListedLocation = 0;
  bool mListed = false;
  std::set<FT_HANDLE> mFallbackHandles;
};

// The library named by ORVEL_D2XX_LIBRARY (or libftd2xx.so) bound by name when it loads, with libftdi1 to
// fall back on; else libftdi1.
std::unique_ptr<CD2XX> CreateLinuxD2XX(std::shared_ptr<CLinuxAccessLog> accessLog_I);

}  // namespace orv
