#include "common/fwupdater/chidfldeviceinterface.h"

#include "common/fwupdater/cdevice.h"

namespace orv {
namespace {

constexpr uint8_t kEnterLoaderId = 0xCC;
constexpr uint8_t kPingId = 0x02;
constexpr uint8_t kVendorCommandId = 0x08;

}  // namespace

CHIDFLDeviceInterface::CHIDFLDeviceInterface(std::string path_I, std::shared_ptr<CHidSystem> system_I)
    : CHidCollectionInterface(std::move(path_I), EINTERFACETYPE_HID, std::move(system_I))
{
}

bool CHIDFLDeviceInterface::SwitchToBLMode()
{
  if (IsLoader() || !Open()) {
    Close();
    return false;
  }
  // The vendor id in both byte orders: loaders of either generation recognise one of the two.
  Report highFirst{kEnterLoaderId, static_cast<uint8_t>(DefaultVendorId >> 8), static_cast<uint8_t>(DefaultVendorId)};
  Report lowFirst{kEnterLoaderId, static_cast<uint8_t>(DefaultVendorId), static_cast<uint8_t>(DefaultVendorId >> 8)};
  const bool first = SafeWrite(highFirst);
  const bool second = SafeWrite(lowFirst);
  Close();
  return first || second;
}

bool CHIDFLDeviceInterface::SwitchFromBLMode(bool save_I) { return IsOpen() && IsLoader() && ExitLoader(save_I); }

bool CHIDFLDeviceInterface::Ping()
{
  if (!IsOpen()) return false;
  if (IsLoader()) {
    uint32_t value = 0;
    return ReadValue(value);
  }
  Report report{kPingId, 0x00};
  return SafeWrite(report);
}

bool CHIDFLDeviceInterface::SendVendorCommand()
{
  if (!IsOpen() || IsLoader()) return false;
  Report report{kVendorCommandId, 0x01, 0x00, 0xAA, 0xAA};
  return SafeWrite(report);
}

}  // namespace orv
