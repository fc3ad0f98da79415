// One attached product: its family of boards, their identities and parameters from the topology, and the
// flash-loader interfaces through which its pen, touch and bluetooth boards are reached.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace orv {

class CFLDeviceInterface;

// The USB vendor id of the devices' maker: the default vendor of every board but the scaler.
constexpr uint32_t DefaultVendorId = 0x4F52;

// Board index of every per-board array, and the kind of an update.
enum EUpdateType : int32_t {
  EUPDATETYPE_PEN = 0,
  EUPDATETYPE_TOUCH = 1,
  EUPDATETYPE_BLUETOOTH = 2,
  EUPDATETYPE_SCALAR = 3,
};

// How a board is reached.
enum EInterfaceType : int32_t {
  EINTERFACETYPE_INVALID = 0,
  EINTERFACETYPE_HID = 1,
  EINTERFACETYPE_BULK = 2,
  EINTERFACETYPE_I2C = 3,
  EINTERFACETYPE_FTDI = 4,
};

const char* InterfaceTypeName(int32_t type_I);
const char* UpdateTypeName(int32_t type_I);

class CDevice {
 public:
  // The device and its boards for the log; empty when the pen interface is missing.
  std::string GetDescription() const;

  std::string mName;
  std::array<std::string, 4> mUpdateFile;
  std::array<uint32_t, 4> mVendorId{};
  std::array<uint32_t, 4> mProductId{};
  std::array<int32_t, 4> mInterfaceType{};
  std::array<uint8_t, 3> mTopology{1, 1, 1};
  std::array<uint32_t, 3> mSectors{};
  std::array<uint32_t, 3> mUsageId{};
  std::array<uint32_t, 3> mUsagePage{};
  std::array<bool, 3> mInitEeprom{};
  // Copies share these with their prototype; discovery replaces them in its copies.
  std::shared_ptr<CFLDeviceInterface> mPenInterface;
  std::shared_ptr<CFLDeviceInterface> mTouchInterface;
  std::shared_ptr<CFLDeviceInterface> mBluetoothInterface;
  bool mHasTouch = false;
  bool mHasBluetooth = false;
  bool mHasScalar = false;
  std::array<bool, 3> mIntoBLMode{true, true, true};
  bool mIsLoader = false;
  // A loader model's pen product id in normal mode (its "penBoard" pid), 0 when it names none: a board left in
  // its loader by an interrupted update is still found by the product id the update package names.
  uint32_t mNormalProductId = 0;
  bool mQuantaScalarBoard = false;
};

using DeviceList = std::vector<std::shared_ptr<CDevice>>;

// The first device owning an interface with this path (letter case ignored), or whose scaler has the
// vendor and product ids of a "vendor:product" path in decimal.
std::shared_ptr<CDevice> GetDevice(const DeviceList& devices_I, const std::string& path_I);
// The first device with a board of the maker's vendor id and this product id.
std::shared_ptr<CDevice> FindDeviceByProductId(const DeviceList& devices_I, uint32_t productId_I);
// The first device in loader mode, else the first device.
std::shared_ptr<CDevice> GetDefaultDevice(const DeviceList& devices_I);

}  // namespace orv
