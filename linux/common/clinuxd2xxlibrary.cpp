#include "linux/common/clinuxd2xxlibrary.h"

#include <dlfcn.h>

#include <cstdlib>

#include "common/assertion.h"
#include "linux/common/clinuxftdid2xx.h"

namespace orv {

CLinuxImportLibrary::~CLinuxImportLibrary()
{
  if (mHandle != nullptr) dlclose(mHandle);
}

bool CLinuxImportLibrary::OpenModule()
{
  if (mHandle == nullptr) mHandle = dlopen(mName.c_str(), RTLD_NOW | RTLD_LOCAL);
  return mHandle != nullptr;
}

CImportLibrary::Proc CLinuxImportLibrary::FindSymbol(const char* name_I)
{
  return mHandle == nullptr ? nullptr : reinterpret_cast<Proc>(dlsym(mHandle, name_I));
}

FT_STATUS CLinuxFallbackD2XX::ListDevices(void* arg1_IO, void* arg2_IO, uint32_t flags_I)
{
  const FT_STATUS status = Listing().ListDevices(arg1_IO, arg2_IO, flags_I);
  if (mFallingBack || status != FT_OK) return status;
  if (flags_I == FT_LIST_NUMBER_ONLY && arg1_IO != nullptr) {
    mVendorCount = *static_cast<uint32_t*>(arg1_IO);
    return CountOnlyBridges(*static_cast<uint32_t*>(arg1_IO));
  }
  if (flags_I != (FT_LIST_BY_INDEX | FT_OPEN_BY_LOCATION) || arg2_IO == nullptr) return status;
  mListed = true;
  mListedIndex = reinterpret_cast<uintptr_t>(arg1_IO);
  mListedLocation = *static_cast<uint32_t*>(arg2_IO);
  return status;
}

// FTDI's library lists every FTDI device, serial cables and adapters too, and its twelve calls cannot tell
// which is a bridge: an index or a count of its own could open or refuse the wrong one. libftdi1 lists only
// the bridges, reading nothing but what the kernel shows, so it takes over where the two disagree.
FT_STATUS CLinuxFallbackD2XX::CountOnlyBridges(uint32_t& count_IO)
{
  uint32_t bridges = 0;
  if (mFallback->ListDevices(&bridges, nullptr, FT_LIST_NUMBER_ONLY) != FT_OK || bridges >= count_IO) return FT_OK;
  DebugPrint("libftd2xx lists %u FTDI devices where %u are bridges for a display; using libftdi1, which lists "
             "only those\n",
             count_IO, bridges);
  mFallingBack = true;
  count_IO = bridges;
  return FT_OK;
}

FT_STATUS CLinuxFallbackD2XX::OpenEx(void* arg1_I, uint32_t flags_I, FT_HANDLE* handle_O)
{
  if (mFallingBack) {
    const FT_STATUS status = mFallback->OpenEx(arg1_I, flags_I, handle_O);
    if (status == FT_OK) mFallbackHandles.insert(*handle_O);
    return status;
  }
  const FT_STATUS status = mVendor->OpenEx(arg1_I, flags_I, handle_O);
  if (status != FT_DEVICE_NOT_OPENED || flags_I != FT_OPEN_BY_LOCATION) return status;
  const uint32_t location = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(arg1_I));
  DebugPrint("libftd2xx cannot open the FTDI bridge at location 0x%X (FT_DEVICE_NOT_OPENED: ftdi_sio still bound, "
             "or no permission); using libftdi1\n",
             location);
  mFallingBack = true;
  return OpenInstead(location, handle_O);
}

FT_STATUS CLinuxFallbackD2XX::OpenInstead(uint32_t location_I, FT_HANDLE* handle_O)
{
  uint32_t count = 0;
  if (mFallback->ListDevices(&count, nullptr, FT_LIST_NUMBER_ONLY) != FT_OK) count = 0;
  uint32_t location = 0;
  const bool sameDevices = mListed && mListedLocation == location_I && count == mVendorCount;
  if (!sameDevices || mFallback->ListDevices(reinterpret_cast<void*>(mListedIndex), &location,
                                             FT_LIST_BY_INDEX | FT_OPEN_BY_LOCATION) != FT_OK) {
    DebugPrint("libftdi1 lists %u FTDI bridges where libftd2xx listed %u: the bridge is not opened\n", count,
               mVendorCount);
    return FT_DEVICE_NOT_OPENED;
  }
  return OpenEx(reinterpret_cast<void*>(static_cast<uintptr_t>(location)), FT_OPEN_BY_LOCATION, handle_O);
}

FT_STATUS CLinuxFallbackD2XX::Close(FT_HANDLE handle_I)
{
  CD2XX& owner = Owner(handle_I);
  mFallbackHandles.erase(handle_I);
  return owner.Close(handle_I);
}

FT_STATUS CLinuxFallbackD2XX::Read(FT_HANDLE handle_I, void* buffer_O, uint32_t toRead_I, uint32_t* read_O)
{
  return Owner(handle_I).Read(handle_I, buffer_O, toRead_I, read_O);
}

FT_STATUS CLinuxFallbackD2XX::Write(FT_HANDLE handle_I, const void* buffer_I, uint32_t toWrite_I, uint32_t* written_O)
{
  return Owner(handle_I).Write(handle_I, buffer_I, toWrite_I, written_O);
}

FT_STATUS CLinuxFallbackD2XX::ResetDevice(FT_HANDLE handle_I) { return Owner(handle_I).ResetDevice(handle_I); }

FT_STATUS CLinuxFallbackD2XX::SetChars(FT_HANDLE handle_I, uint8_t eventChar_I, uint8_t eventCharEnabled_I,
                                       uint8_t errorChar_I, uint8_t errorCharEnabled_I)
{
  return Owner(handle_I).SetChars(handle_I, eventChar_I, eventCharEnabled_I, errorChar_I, errorCharEnabled_I);
}

FT_STATUS CLinuxFallbackD2XX::SetTimeouts(FT_HANDLE handle_I, uint32_t readMs_I, uint32_t writeMs_I)
{
  return Owner(handle_I).SetTimeouts(handle_I, readMs_I, writeMs_I);
}

FT_STATUS CLinuxFallbackD2XX::GetQueueStatus(FT_HANDLE handle_I, uint32_t* bytes_O)
{
  return Owner(handle_I).GetQueueStatus(handle_I, bytes_O);
}

FT_STATUS CLinuxFallbackD2XX::SetLatencyTimer(FT_HANDLE handle_I, uint8_t milliseconds_I)
{
  return Owner(handle_I).SetLatencyTimer(handle_I, milliseconds_I);
}

FT_STATUS CLinuxFallbackD2XX::SetBitMode(FT_HANDLE handle_I, uint8_t mask_I, uint8_t mode_I)
{
  return Owner(handle_I).SetBitMode(handle_I, mask_I, mode_I);
}

FT_STATUS CLinuxFallbackD2XX::SetUSBParameters(FT_HANDLE handle_I, uint32_t inSize_I, uint32_t outSize_I)
{
  return Owner(handle_I).SetUSBParameters(handle_I, inSize_I, outSize_I);
}

std::unique_ptr<CD2XX> CreateLinuxD2XX(std::shared_ptr<CLinuxAccessLog> accessLog_I)
{
  const char* named = std::getenv(kD2XXLibraryVariable);
  const std::string name = named != nullptr && *named != '\0' ? named : kD2XXLibraryName;
  if (name != "none") {
    auto library = std::make_unique<CLinuxImportLibrary>(name, true);
    if (library->Load()) {
      return std::make_unique<CLinuxFallbackD2XX>(std::make_unique<CFTDIExAPI32>(std::move(library)),
                                                  std::make_unique<CLinuxFtdiD2XX>(accessLog_I));
    }
  }
  return std::make_unique<CLinuxFtdiD2XX>(std::move(accessLog_I));
}

}  // namespace orv
