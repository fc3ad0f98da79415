#include "common/fwupdater/cdevice.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <stdexcept>
#include <string_view>

#include "common/assertion.h"
#include "common/fwupdater/cfldeviceinterface.h"
#include "common/stringutilities.h"

namespace orv {

const char* InterfaceTypeName(int32_t type_I)
{
  switch (type_I) {
    case EINTERFACETYPE_HID: return "HID";
    case EINTERFACETYPE_BULK: return "BULK";
    case EINTERFACETYPE_I2C: return "I2C";
    case EINTERFACETYPE_FTDI: return "FTDI";
    default: return "INVALID";
  }
}

const char* UpdateTypeName(int32_t type_I)
{
  switch (type_I) {
    case EUPDATETYPE_PEN: return "pen";
    case EUPDATETYPE_TOUCH: return "touch";
    case EUPDATETYPE_BLUETOOTH: return "bluetooth";
    case EUPDATETYPE_SCALAR: return "scalar";
    default: return "";
  }
}

}  // namespace orv

namespace orv {
namespace {

constexpr uint32_t kScalerProductA = 0x1060;
constexpr uint32_t kScalerProductB = 0x1063;

std::string BoardBlock(const char* header_I, const CDevice& device_I, int board_I, CFLDeviceInterface& interface_I,
                       const char* labelSuffix_I)
{
  const std::string suffix = labelSuffix_I;
  std::string text = std::string(interface_I.IsLoader() ? "LOADER INTERFACE:" : header_I) + "\n";
  text += "\tSectors = " + std::to_string(device_I.mSectors[board_I]) + "\n";
  text += "\tUsageId" + suffix + " = " + std::to_string(device_I.mUsageId[board_I]) + "\n";
  text += "\tUsagePage" + suffix + " = " + std::to_string(device_I.mUsagePage[board_I]) + "\n";
  text += std::string("\tInit Eeprom = ") + (device_I.mInitEeprom[board_I] ? "YES" : "NO") + "\n";
  return text + interface_I.GetDescription();
}

std::string OptionalBoardBlock(const char* name_I, const CDevice& device_I, int board_I,
                               const std::shared_ptr<CFLDeviceInterface>& interface_I, bool supported_I)
{
  const std::string name = name_I;
  if (interface_I) {
    return BoardBlock((name + " INTERFACE:").c_str(), device_I, board_I, *interface_I, "");
  }
  return name + (supported_I ? " INTERFACE NOT FOUND\n" : " INTERFACE NOT SUPPORTED\n");
}

bool SamePath(const std::string& a_I, const std::string& b_I)
{
  if (a_I == b_I) return true;
  return a_I.size() == b_I.size() &&
         std::equal(a_I.begin(), a_I.end(), b_I.begin(), [](char a, char b) {
           return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
         });
}

// A device node that carries several top-level collections names each as the node, this mark and its number
// ("/dev/hidraw3#col02"); the node alone names them all, as the user sees it.
bool IsCollectionOfNode(const std::string& node_I, const std::string& own_I)
{
  constexpr std::string_view kCollectionMark = "#col";
  if (own_I.size() <= node_I.size() + kCollectionMark.size() || !own_I.starts_with(node_I)) return false;
  const std::string_view rest = std::string_view(own_I).substr(node_I.size());
  return rest.starts_with(kCollectionMark) &&
         rest.find_first_not_of("0123456789", kCollectionMark.size()) == std::string_view::npos;
}

// A scaler is named "vendor:product" in decimal; a piece that is not a number matches nothing.
bool MatchesScaler(const CDevice& device_I, const std::string& path_I)
{
  const std::vector<std::string> pieces = Split(path_I, ":");
  if (!device_I.mHasScalar || pieces.size() < 2) return false;
  int64_t vendor = 0;
  int64_t product = 0;
  try {
    vendor = std::stoi(pieces[0]);
    product = std::stoi(pieces[1]);
  } catch (const std::logic_error&) {
    return false;
  }
  const auto isScalerPair = [](int64_t id) { return id == kScalerProductA || id == kScalerProductB; };
  const int64_t ownProduct = device_I.mProductId[EUPDATETYPE_SCALAR];
  return device_I.mVendorId[EUPDATETYPE_SCALAR] == vendor &&
         (ownProduct == product || (isScalerPair(product) && isScalerPair(ownProduct)));
}

}  // namespace

std::string CDevice::GetDescription() const
{
  if (!mPenInterface) return "";
  std::string text = "[" + mName + "] (" + (mIsLoader ? "LOADER" : "NORMAL") + " MODE)\n";
  text += BoardBlock("PEN INTERFACE:", *this, EUPDATETYPE_PEN, *mPenInterface, " (Non-HidRouter)");
  text += OptionalBoardBlock("TOUCH", *this, EUPDATETYPE_TOUCH, mTouchInterface, mHasTouch);
  text += OptionalBoardBlock("BLUETOOTH", *this, EUPDATETYPE_BLUETOOTH, mBluetoothInterface, mHasBluetooth);
  return text;
}

std::shared_ptr<CDevice> GetDevice(const DeviceList& devices_I, const std::string& path_I)
{
  for (const std::shared_ptr<CDevice>& device : devices_I) {
    bool matched = false;
    const std::pair<const char*, const std::shared_ptr<CFLDeviceInterface>*> slots[] = {
        {"Pen", &device->mPenInterface}, {"Touch", &device->mTouchInterface}, {"Bluetooth", &device->mBluetoothInterface}};
    for (const auto& [label, slot] : slots) {
      if (!*slot) continue;
      const std::string own = (*slot)->GetPath();
      // A diagnostic: the debugger output (and the log), never the standard output a script reads.
      DebugPrint("%s GetDevice %s to %s\n", label, path_I.c_str(), own.c_str());
      matched = matched || SamePath(path_I, own) || IsCollectionOfNode(path_I, own);
    }
    if (matched || MatchesScaler(*device, path_I)) return device;
  }
  return nullptr;
}

std::shared_ptr<CDevice> FindDeviceByProductId(const DeviceList& devices_I, uint32_t productId_I)
{
  for (const std::shared_ptr<CDevice>& device : devices_I) {
    for (int board = EUPDATETYPE_PEN; board <= EUPDATETYPE_SCALAR; ++board) {
      if (device->mVendorId[board] == DefaultVendorId && device->mProductId[board] == productId_I) return device;
    }
  }
  for (const std::shared_ptr<CDevice>& device : devices_I) {
    if (device->mIsLoader && device->mVendorId[EUPDATETYPE_PEN] == DefaultVendorId && device->mNormalProductId != 0 &&
        device->mNormalProductId == productId_I) {
      return device;
    }
  }
  return nullptr;
}

std::shared_ptr<CDevice> GetDefaultDevice(const DeviceList& devices_I)
{
  for (const std::shared_ptr<CDevice>& device : devices_I) {
    if (device->mIsLoader) return device;
  }
  return devices_I.empty() ? nullptr : devices_I.front();
}

}  // namespace orv
