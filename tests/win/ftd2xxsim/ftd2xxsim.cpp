// FTD2XX.dll for tests: the twelve D2XX functions the updater binds by name, answered by the simulated FTDI
// bridge with a pen display's DDC/CI side and its scaler's ISP slave on the bridge's I2C bus. Three more
// exports let a test choose the scenario, share its clock with the bridge and read the scaler's flash.
#include <windows.h>

#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "common/cclock.h"
#include "sim/csimplatform.h"

namespace {

using orv::CD2XX;

struct SState {
  std::mutex lock;
  std::unique_ptr<orv::sim::CSimPlatform> platform;
  std::optional<orv::CScopedClock> clock;
};

SState& State()
{
  static SState state;
  return state;
}

orv::sim::CSimPlatform* Platform()
{
  SState& state = State();
  std::lock_guard<std::mutex> guard(state.lock);
  if (!state.platform) {
    std::string error;
    state.platform = orv::sim::CSimPlatform::Create("default", error);
  }
  return state.platform.get();
}

// Nothing may unwind out of a DLL's C interface: a fault in the simulation reads as an I/O error.
template <typename F>
ULONG Call(F call_I)
{
  try {
    orv::sim::CSimPlatform* platform = Platform();
    return platform ? call_I(platform->D2XX()) : orv::FT_DEVICE_NOT_FOUND;
  } catch (...) {
    return orv::FT_IO_ERROR;
  }
}

// The library's DWORD out-values, through the table's 32-bit ones.
template <typename F>
ULONG CallWithCount(DWORD* count_O, F call_I)
{
  uint32_t count = 0;
  const ULONG status = Call([&](CD2XX& d2xx_I) { return call_I(d2xx_I, &count); });
  if (count_O != nullptr) *count_O = count;
  return status;
}

}  // namespace

extern "C" {

ULONG WINAPI FT_OpenEx(PVOID arg1_I, DWORD flags_I, PVOID* handle_O)
{
  return Call([&](CD2XX& d2xx_I) { return d2xx_I.OpenEx(arg1_I, flags_I, handle_O); });
}

ULONG WINAPI FT_ListDevices(PVOID arg1_IO, PVOID arg2_IO, DWORD flags_I)
{
  return Call([&](CD2XX& d2xx_I) { return d2xx_I.ListDevices(arg1_IO, arg2_IO, flags_I); });
}

ULONG WINAPI FT_Close(PVOID handle_I)
{
  return Call([&](CD2XX& d2xx_I) { return d2xx_I.Close(handle_I); });
}

ULONG WINAPI FT_Read(PVOID handle_I, LPVOID buffer_O, DWORD toRead_I, LPDWORD read_O)
{
  return CallWithCount(read_O, [&](CD2XX& d2xx_I, uint32_t* read_I) {
    return d2xx_I.Read(handle_I, buffer_O, toRead_I, read_I);
  });
}

ULONG WINAPI FT_Write(PVOID handle_I, LPVOID buffer_I, DWORD toWrite_I, LPDWORD written_O)
{
  return CallWithCount(written_O, [&](CD2XX& d2xx_I, uint32_t* written_I) {
    return d2xx_I.Write(handle_I, buffer_I, toWrite_I, written_I);
  });
}

ULONG WINAPI FT_ResetDevice(PVOID handle_I)
{
  return Call([&](CD2XX& d2xx_I) { return d2xx_I.ResetDevice(handle_I); });
}

ULONG WINAPI FT_SetChars(PVOID handle_I, UCHAR eventChar_I, UCHAR eventEnabled_I, UCHAR errorChar_I,
                         UCHAR errorEnabled_I)
{
  return Call([&](CD2XX& d2xx_I) {
    return d2xx_I.SetChars(handle_I, eventChar_I, eventEnabled_I, errorChar_I, errorEnabled_I);
  });
}

ULONG WINAPI FT_SetTimeouts(PVOID handle_I, ULONG readMs_I, ULONG writeMs_I)
{
  return Call([&](CD2XX& d2xx_I) { return d2xx_I.SetTimeouts(handle_I, readMs_I, writeMs_I); });
}

ULONG WINAPI FT_GetQueueStatus(PVOID handle_I, DWORD* bytes_O)
{
  return CallWithCount(bytes_O, [&](CD2XX& d2xx_I, uint32_t* bytes_I) {
    return d2xx_I.GetQueueStatus(handle_I, bytes_I);
  });
}

ULONG WINAPI FT_SetLatencyTimer(PVOID handle_I, UCHAR milliseconds_I)
{
  return Call([&](CD2XX& d2xx_I) { return d2xx_I.SetLatencyTimer(handle_I, milliseconds_I); });
}

ULONG WINAPI FT_SetBitMode(PVOID handle_I, UCHAR mask_I, UCHAR mode_I)
{
  return Call([&](CD2XX& d2xx_I) { return d2xx_I.SetBitMode(handle_I, mask_I, mode_I); });
}

ULONG WINAPI FT_SetUSBParameters(PVOID handle_I, ULONG inSize_I, ULONG outSize_I)
{
  return Call([&](CD2XX& d2xx_I) { return d2xx_I.SetUSBParameters(handle_I, inSize_I, outSize_I); });
}

// A fresh bridge from a scenario file or "default"; false, keeping the bridge it had, when the scenario
// cannot be used.
BOOL WINAPI OrvelSimLoad(const char* scenario_I)
{
  try {
    std::string error;
    std::unique_ptr<orv::sim::CSimPlatform> platform = orv::sim::CSimPlatform::Create(scenario_I, error);
    if (!platform) return FALSE;
    SState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    state.platform = std::move(platform);
    return TRUE;
  } catch (...) {
    return FALSE;
  }
}

// The bridge spends its time on the caller's clock; empty goes back to the DLL's own.
void WINAPI OrvelSimUseClock(orv::CClock* clock_I)
{
  SState& state = State();
  std::lock_guard<std::mutex> guard(state.lock);
  state.clock.reset();
  if (clock_I != nullptr) state.clock.emplace(*clock_I);
}

// Copies the scaler's flash from address_I on, cut at its end; returns how many bytes were copied.
DWORD WINAPI OrvelSimScalerFlash(DWORD address_I, BYTE* bytes_O, DWORD count_I)
{
  try {
    orv::sim::CSimPlatform* platform = Platform();
    if (!platform || !platform->Scaler()) return 0;
    const std::vector<uint8_t> flash = platform->Scaler()->isp->FlashBytes(address_I, count_I);
    std::memcpy(bytes_O, flash.data(), flash.size());
    return static_cast<DWORD>(flash.size());
  } catch (...) {
    return 0;
  }
}

}  // extern "C"
