// The D2XX binding of the Linux program: FTDI's own libftd2xx when it can be loaded, else the same calls
// over libftdi1, so that the scaler update works with the distribution's packages alone.
#pragma once

#include <memory>
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

// The library named by ORVEL_D2XX_LIBRARY (or libftd2xx.so) bound by name when it loads, else libftdi1.
std::unique_ptr<CD2XX> CreateLinuxD2XX(std::shared_ptr<CLinuxAccessLog> accessLog_I);

}  // namespace orv
