// Waits until SetupAPI lists the HID interfaces a test expects: under Wine its bus driver adds the host's
// hidraw devices a while after Wine starts. Arguments: a text the paths contain (lower case), how many, and
// the longest wait in milliseconds. Exit code 0 once they are listed, 1 when the time runs out.
#include <cstdlib>
#include <string>

#include "common/stringutilities.h"
#include "win/fwupdater/cwindeviceenumerator.h"

int main(int argc, char** argv)
{
  if (argc != 4) return 2;
  const orv::SWinDeviceCalls calls = orv::WinSystemCalls();
  GUID hidClass{};
  calls.hid->HidD_GetHidGuid(&hidClass);
  orv::CWinDeviceEnumerator enumerator(calls.setup, hidClass);
  const size_t wanted = std::strtoul(argv[2], nullptr, 10);
  const unsigned long waitMs = std::strtoul(argv[3], nullptr, 10);
  for (unsigned long waited = 0; waited <= waitMs; waited += 20) {
    size_t found = 0;
    for (const std::string& path : enumerator.EnumerateInterfacePaths(orv::EDEVICECLASS_HID)) {
      if (orv::ToLower(path).find(argv[1]) != std::string::npos) ++found;
    }
    if (found >= wanted) return 0;
    Sleep(20);
  }
  return 1;
}
