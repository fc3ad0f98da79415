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

std::shared_ptr<CHidSystem> Hid(const SWinDeviceCalls& calls_I, const std::shared_ptr<CTransferRecorder>& recorder_I)
{
  auto hid = std::make_shared<CWinHidSystem>(calls_I.hid, calls_I.configManager);
  return recorder_I ? RecordingHidSystem(hid, recorder_I) : hid;
}

std::shared_ptr<CUsbSystem> Usb(const SWinDeviceCalls& calls_I, const std::shared_ptr<CTransferRecorder>& recorder_I)
{
  auto usb = std::make_shared<CWinUsbSystem>(calls_I.usb, calls_I.configManager);
  return recorder_I ? RecordingUsbSystem(usb, recorder_I) : usb;
}

std::shared_ptr<CDeviceEnumerator> Enumerator(const SWinDeviceCalls& calls_I,
                                              const std::shared_ptr<CTransferRecorder>& recorder_I)
{
  auto enumerator = std::make_shared<CWinDeviceEnumerator>(calls_I.setup, HidClass(*calls_I.hid));
  return recorder_I ? RecordingEnumerator(enumerator, recorder_I) : enumerator;
}

}  // namespace

CWinDiscovery::CWinDiscovery(std::string configFile_I, std::shared_ptr<CTransferRecorder> recorder_I)
    : CWinDiscovery(WinSystemCalls(), std::move(configFile_I), std::move(recorder_I))
{
}

CWinDiscovery::CWinDiscovery(const SWinDeviceCalls& calls_I, std::string configFile_I,
                             std::shared_ptr<CTransferRecorder> recorder_I)
    : CDiscovery(Hid(calls_I, recorder_I), Usb(calls_I, recorder_I), Enumerator(calls_I, recorder_I), std::move(configFile_I))
{
}

}  // namespace orv
