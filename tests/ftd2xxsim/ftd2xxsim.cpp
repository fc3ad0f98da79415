// A stand-in for FTDI's libftd2xx.so: the twelve D2XX functions the updater binds by name, passed on to the
// D2XX device a test installs (the simulated bridge). Loaded by the updater with dlopen, as the real one is.
#include "common/osd/cd2xx.h"

using orv::CD2XX;
using orv::FT_HANDLE;
using orv::FT_STATUS;

namespace {

CD2XX* gDevice = nullptr;

FT_STATUS Missing() { return orv::FT_DEVICE_NOT_FOUND; }

}  // namespace

extern "C" {

__attribute__((visibility("default"))) void OrvelInstallD2XX(CD2XX* device_I) { gDevice = device_I; }

__attribute__((visibility("default"))) FT_STATUS FT_OpenEx(void* arg1_I, uint32_t flags_I, FT_HANDLE* handle_O)
{
  return gDevice ? gDevice->OpenEx(arg1_I, flags_I, handle_O) : Missing();
}
__attribute__((visibility("default"))) FT_STATUS FT_ListDevices(void* arg1_IO, void* arg2_IO, uint32_t flags_I)
{
  return gDevice ? gDevice->ListDevices(arg1_IO, arg2_IO, flags_I) : Missing();
}
__attribute__((visibility("default"))) FT_STATUS FT_Close(FT_HANDLE handle_I) { return gDevice ? gDevice->Close(handle_I) : Missing(); }
__attribute__((visibility("default"))) FT_STATUS FT_Read(FT_HANDLE handle_I, void* buffer_O, uint32_t toRead_I, uint32_t* read_O)
{
  return gDevice ? gDevice->Read(handle_I, buffer_O, toRead_I, read_O) : Missing();
}
__attribute__((visibility("default"))) FT_STATUS FT_Write(FT_HANDLE handle_I, const void* buffer_I, uint32_t toWrite_I, uint32_t* written_O)
{
  return gDevice ? gDevice->Write(handle_I, buffer_I, toWrite_I, written_O) : Missing();
}
__attribute__((visibility("default"))) FT_STATUS FT_ResetDevice(FT_HANDLE handle_I)
{
  return gDevice ? gDevice->ResetDevice(handle_I) : Missing();
}
__attribute__((visibility("default"))) FT_STATUS FT_SetChars(FT_HANDLE handle_I, uint8_t event_I, uint8_t eventOn_I, uint8_t error_I,
                                                             uint8_t errorOn_I)
{
  return gDevice ? gDevice->SetChars(handle_I, event_I, eventOn_I, error_I, errorOn_I) : Missing();
}
__attribute__((visibility("default"))) FT_STATUS FT_SetTimeouts(FT_HANDLE handle_I, uint32_t readMs_I, uint32_t writeMs_I)
{
  return gDevice ? gDevice->SetTimeouts(handle_I, readMs_I, writeMs_I) : Missing();
}
__attribute__((visibility("default"))) FT_STATUS FT_GetQueueStatus(FT_HANDLE handle_I, uint32_t* bytes_O)
{
  return gDevice ? gDevice->GetQueueStatus(handle_I, bytes_O) : Missing();
}
__attribute__((visibility("default"))) FT_STATUS FT_SetLatencyTimer(FT_HANDLE handle_I, uint8_t milliseconds_I)
{
  return gDevice ? gDevice->SetLatencyTimer(handle_I, milliseconds_I) : Missing();
}
__attribute__((visibility("default"))) FT_STATUS FT_SetBitMode(FT_HANDLE handle_I, uint8_t mask_I, uint8_t mode_I)
{
  return gDevice ? gDevice->SetBitMode(handle_I, mask_I, mode_I) : Missing();
}
__attribute__((visibility("default"))) FT_STATUS FT_SetUSBParameters(FT_HANDLE handle_I, uint32_t in_I, uint32_t out_I)
{
  return gDevice ? gDevice->SetUSBParameters(handle_I, in_I, out_I) : Missing();
}

}  // extern "C"
