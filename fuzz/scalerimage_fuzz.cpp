// Firmware files with the extension .bin.
#include "fuzz/firmwarefile_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  return orv::fuzz::LoadFirmwareFile(data, size, ".bin");
}
