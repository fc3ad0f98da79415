#include "win/fwupdater/cwindiscovery.h"

#include "win/fwupdater/cwindeviceenumerator.h"
#include "win/fwupdater/cwinhidsystem.h"
#include "win/fwupdater/cwinusbsystem.h"

namespace orv {
namespace {

GUID HidClass(CWinHidCalls& calls_I)
{
  GUID hidClass{};
  calls_I.HidD_GetHidGuid(&hidClass);
  return hidClass;
}

}  // namespace

CWinDiscovery::CWinDiscovery(std::string configFile_I) : CWinDiscovery(WinSystemCalls(), std::move(configFile_I)) {}

CWinDiscovery::CWinDiscovery(const SWinDeviceCalls& calls_I, std::string configFile_I)
    : CDiscovery(std::make_shared<CWinHidSystem>(calls_I.hid, calls_I.configManager),
                 std::make_shared<CWinUsbSystem>(calls_I.usb, calls_I.configManager),
                 std::make_shared<CWinDeviceEnumerator>(calls_I.setup, HidClass(*calls_I.hid)), std::move(configFile_I))
{
}

}  // namespace orv
