// A stand-in for FTDI's D2XX library, built as libftd2xx.so and as FTD2XX.dll: the twelve functions the
// updater binds by name, passed on to the D2XX device a test installs (the simulated bridge). The updater
// loads it as it loads the vendor's, so the binding by name is what the tests exercise.
#include "common/osd/cd2xx.h"

#ifdef _WIN32
#define ORVEL_EXPORT __declspec(dllexport)
#else
#define ORVEL_EXPORT __attribute__((visibility("default")))
#endif

using orv::CD2XX;
using orv::FT_HANDLE;
using orv::FT_STATUS;

namespace {

CD2XX* gDevice = nullptr;

// Nothing may unwind out of the library's C interface: a fault in the simulation reads as an I/O error.
template <typename... Parameters, typename... Arguments>
FT_STATUS Call(FT_STATUS (CD2XX::*method_I)(Parameters...), Arguments... arguments_I)
{
  try {
    return gDevice != nullptr ? (gDevice->*method_I)(arguments_I...) : orv::FT_DEVICE_NOT_FOUND;
  } catch (...) {
    return orv::FT_IO_ERROR;
  }
}

}  // namespace

extern "C" {

ORVEL_EXPORT void OrvelInstallD2XX(CD2XX* device_I) { gDevice = device_I; }

ORVEL_EXPORT FT_STATUS ORV_D2XX_CALL FT_OpenEx(void* arg1_I, uint32_t flags_I, FT_HANDLE* handle_O)
{
  return Call(&CD2XX::OpenEx, arg1_I, flags_I, handle_O);
}
ORVEL_EXPORT FT_STATUS ORV_D2XX_CALL FT_ListDevices(void* arg1_IO, void* arg2_IO, uint32_t flags_I)
{
  return Call(&CD2XX::ListDevices, arg1_IO, arg2_IO, flags_I);
}
ORVEL_EXPORT FT_STATUS ORV_D2XX_CALL FT_Close(FT_HANDLE handle_I) { return Call(&CD2XX::Close, handle_I); }
ORVEL_EXPORT FT_STATUS ORV_D2XX_CALL FT_Read(FT_HANDLE handle_I, void* buffer_O, uint32_t toRead_I, uint32_t* read_O)
{
  return Call(&CD2XX::Read, handle_I, buffer_O, toRead_I, read_O);
}
ORVEL_EXPORT FT_STATUS ORV_D2XX_CALL FT_Write(FT_HANDLE handle_I, const void* buffer_I, uint32_t toWrite_I,
                                              uint32_t* written_O)
{
  return Call(&CD2XX::Write, handle_I, buffer_I, toWrite_I, written_O);
}
ORVEL_EXPORT FT_STATUS ORV_D2XX_CALL FT_ResetDevice(FT_HANDLE handle_I) { return Call(&CD2XX::ResetDevice, handle_I); }
ORVEL_EXPORT FT_STATUS ORV_D2XX_CALL FT_SetChars(FT_HANDLE handle_I, uint8_t event_I, uint8_t eventOn_I,
                                                 uint8_t error_I, uint8_t errorOn_I)
{
  return Call(&CD2XX::SetChars, handle_I, event_I, eventOn_I, error_I, errorOn_I);
}
ORVEL_EXPORT FT_STATUS ORV_D2XX_CALL FT_SetTimeouts(FT_HANDLE handle_I, uint32_t readMs_I, uint32_t writeMs_I)
{
  return Call(&CD2XX::SetTimeouts, handle_I, readMs_I, writeMs_I);
}
ORVEL_EXPORT FT_STATUS ORV_D2XX_CALL FT_GetQueueStatus(FT_HANDLE handle_I, uint32_t* bytes_O)
{
  return Call(&CD2XX::GetQueueStatus, handle_I, bytes_O);
}
ORVEL_EXPORT FT_STATUS ORV_D2XX_CALL FT_SetLatencyTimer(FT_HANDLE handle_I, uint8_t milliseconds_I)
{
  return Call(&CD2XX::SetLatencyTimer, handle_I, milliseconds_I);
}
ORVEL_EXPORT FT_STATUS ORV_D2XX_CALL FT_SetBitMode(FT_HANDLE handle_I, uint8_t mask_I, uint8_t mode_I)
{
  return Call(&CD2XX::SetBitMode, handle_I, mask_I, mode_I);
}
ORVEL_EXPORT FT_STATUS ORV_D2XX_CALL FT_SetUSBParameters(FT_HANDLE handle_I, uint32_t in_I, uint32_t out_I)
{
  return Call(&CD2XX::SetUSBParameters, handle_I, in_I, out_I);
}

}  // extern "C"
