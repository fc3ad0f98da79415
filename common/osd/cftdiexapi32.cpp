#include "common/osd/cftdiexapi32.h"

#include <atomic>

#include "common/assertion.h"

namespace orv {

bool CImportLibrary::Load()
{
  if (mLoaded) return true;
  mLoaded = OpenModule();
  if (!mLoaded && !mQuiet) AssertReport("m_hDll", __FILE__, __LINE__);
  return mLoaded;
}

CImportLibrary::Proc CImportLibrary::GetProc(const char* name_I)
{
  Proc proc = Load() ? FindSymbol(name_I) : nullptr;
  if (proc == nullptr && !mQuiet) AssertReport("procAddr", __FILE__, __LINE__);
  return proc;
}

CFTDIExAPI32::CFTDIExAPI32(std::unique_ptr<CImportLibrary> library_I) : mLibrary(std::move(library_I))
{
  if (mLibrary) mLibrary->Load();
}

template <typename F>
F CFTDIExAPI32::Bound(F& cache_IO, const char* function_I, const char* member_I)
{
  // Every function type converts to and from the generic Proc without loss.
  if (cache_IO == nullptr && mLibrary) cache_IO = reinterpret_cast<F>(mLibrary->GetProc(function_I));
  // Reported even for a quiet library: the call cannot be made.
  if (cache_IO == nullptr) AssertReport(member_I, __FILE__, __LINE__);
  return cache_IO;
}

FT_STATUS CFTDIExAPI32::OpenEx(void* arg1_I, uint32_t flags_I, FT_HANDLE* handle_O)
{
  const OpenExFn function = Bound(mOpen, "FT_OpenEx", "m_pOpen");
  return function ? function(arg1_I, flags_I, handle_O) : FT_NOT_SUPPORTED;
}

FT_STATUS CFTDIExAPI32::ListDevices(void* arg1_IO, void* arg2_IO, uint32_t flags_I)
{
  const ListDevicesFn function = Bound(mList, "FT_ListDevices", "m_pList");
  return function ? function(arg1_IO, arg2_IO, flags_I) : FT_NOT_SUPPORTED;
}

FT_STATUS CFTDIExAPI32::Close(FT_HANDLE handle_I)
{
  const HandleFn function = Bound(mClose, "FT_Close", "m_pClose");
  return function ? function(handle_I) : FT_NOT_SUPPORTED;
}

FT_STATUS CFTDIExAPI32::Read(FT_HANDLE handle_I, void* buffer_O, uint32_t toRead_I, uint32_t* read_O)
{
  const ReadFn function = Bound(mRead, "FT_Read", "m_pRead");
  return function ? function(handle_I, buffer_O, toRead_I, read_O) : FT_NOT_SUPPORTED;
}

FT_STATUS CFTDIExAPI32::Write(FT_HANDLE handle_I, const void* buffer_I, uint32_t toWrite_I, uint32_t* written_O)
{
  const WriteFn function = Bound(mWrite, "FT_Write", "m_pWrite");
  return function ? function(handle_I, buffer_I, toWrite_I, written_O) : FT_NOT_SUPPORTED;
}

FT_STATUS CFTDIExAPI32::ResetDevice(FT_HANDLE handle_I)
{
  const HandleFn function = Bound(mReset, "FT_ResetDevice", "m_pReset");
  return function ? function(handle_I) : FT_NOT_SUPPORTED;
}

FT_STATUS CFTDIExAPI32::SetChars(FT_HANDLE handle_I, uint8_t eventChar_I, uint8_t eventCharEnabled_I,
                                 uint8_t errorChar_I, uint8_t errorCharEnabled_I)
{
  const SetCharsFn function = Bound(mSetChars, "FT_SetChars", "m_pSetChars");
  return function ? function(handle_I, eventChar_I, eventCharEnabled_I, errorChar_I, errorCharEnabled_I)
                  : FT_NOT_SUPPORTED;
}

FT_STATUS CFTDIExAPI32::SetTimeouts(FT_HANDLE handle_I, uint32_t readMs_I, uint32_t writeMs_I)
{
  const TwoValuesFn function = Bound(mSetTimeouts, "FT_SetTimeouts", "m_pSetTimeouts");
  return function ? function(handle_I, readMs_I, writeMs_I) : FT_NOT_SUPPORTED;
}

FT_STATUS CFTDIExAPI32::GetQueueStatus(FT_HANDLE handle_I, uint32_t* bytes_O)
{
  const QueueStatusFn function = Bound(mGetQueueStatus, "FT_GetQueueStatus", "m_pGetQueueStatus");
  return function ? function(handle_I, bytes_O) : FT_NOT_SUPPORTED;
}

FT_STATUS CFTDIExAPI32::SetLatencyTimer(FT_HANDLE handle_I, uint8_t milliseconds_I)
{
  const ByteFn function = Bound(mSetLatency, "FT_SetLatencyTimer", "m_pSetLatency");
  return function ? function(handle_I, milliseconds_I) : FT_NOT_SUPPORTED;
}

FT_STATUS CFTDIExAPI32::SetBitMode(FT_HANDLE handle_I, uint8_t /*mask_I*/, uint8_t mode_I)
{
  const BitModeFn function = Bound(mSetBitMode, "FT_SetBitMode", "m_pSetBitMode");
  return function ? function(handle_I, 0x00, mode_I) : FT_NOT_SUPPORTED;
}

FT_STATUS CFTDIExAPI32::SetUSBParameters(FT_HANDLE handle_I, uint32_t inSize_I, uint32_t outSize_I)
{
  const TwoValuesFn function = Bound(mSetUSBParams, "FT_SetUSBParameters", "m_pSetUSBParams");
  return function ? function(handle_I, inSize_I, outSize_I) : FT_NOT_SUPPORTED;
}

namespace {

std::atomic<CD2XX*>& Installed()
{
  static std::atomic<CD2XX*> installed{nullptr};
  return installed;
}

}  // namespace

CD2XX& D2XX()
{
  // No platform loader is installed in the portable engine: the vendor library counts as missing.
  static CFTDIExAPI32 unbound(nullptr);
  CD2XX* installed = Installed().load();
  return installed != nullptr ? *installed : unbound;
}

CScopedD2XX::CScopedD2XX(CD2XX& binding_I) : mPrevious(Installed().exchange(&binding_I)) {}

CScopedD2XX::~CScopedD2XX() { Installed().store(mPrevious); }

}  // namespace orv
