// Turns the device interfaces the system reports as present into devices: each interface is matched to a
// prototype of the topology by its vendor and product ids, tested as a pen, touch, bluetooth or loader
// interface, and grouped with the other interfaces of its product by their common ancestor in the device
// tree.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "common/fwupdater/cdevice.h"
#include "common/fwupdater/cdeviceevents.h"
#include "common/fwupdater/chidsystem.h"
#include "common/fwupdater/ctopologyreader.h"
#include "common/fwupdater/cusbsystem.h"

namespace orv {

// Collections of supported devices behind a HID router carry these usages on page 0xFF00.
constexpr uint16_t kRouterPenUsage = 10;
constexpr uint16_t kRouterTouchUsage = 11;

class CDiscovery {
 public:
  CDiscovery(std::shared_ptr<CHidSystem> hid_I, std::shared_ptr<CUsbSystem> usb_I,
             std::shared_ptr<CDeviceEnumerator> enumerator_I, std::string configFile_I = "./fw_loader.ini");
  virtual ~CDiscovery() = default;

  // Rebuilds the device list from scratch; an empty list is not a failure.
  virtual bool Discover();
  const DeviceList& GetDevices() const { return mDevices; }
  bool IsHidRouter() const { return mHidRouter; }
  const PrototypeMap& GetPrototypes() const { return mPrototypes; }

  // A new device copied from the prototype registered under vendorId + productId; empty when none is.
  std::shared_ptr<CDevice> FindDevicePrototype(uint32_t vendorId_I, uint32_t productId_I) const;
  std::shared_ptr<CFLDeviceInterface> CreateInterface(int32_t type_I, const std::string& path_I) const;

 private:
  using InterfaceList = std::vector<std::shared_ptr<CFLDeviceInterface>>;

  bool DetectHidRouter(const std::vector<std::string>& paths_I);
  void CollectInterfaces(const std::vector<std::string>& paths_I, int32_t type_I);
  bool IsPenInterface(const CDevice& prototype_I, CFLDeviceInterface& interface_I) const;
  bool IsTouchInterface(const CDevice& prototype_I, CFLDeviceInterface& interface_I) const;
  bool IsBluetoothInterface(const CDevice& prototype_I, CFLDeviceInterface& interface_I) const;
  // Whether the ancestor `first_I` shares at the pen board's level is the one `second_I` shares at the level
  // of `secondBoard_I`.
  bool ShareParent(const CDevice& device_I, const std::shared_ptr<CFLDeviceInterface>& first_I,
                   const std::shared_ptr<CFLDeviceInterface>& second_I, int secondBoard_I) const;
  void GroupDevices();
  void PlaceBoardInterfaces(const InterfaceList& interfaces_I, int board_I, DeviceList& devices_IO) const;
  void PlaceLoaderInterface(const std::shared_ptr<CFLDeviceInterface>& loader_I, DeviceList& devices_IO) const;

  std::shared_ptr<CHidSystem> mHid;
  std::shared_ptr<CUsbSystem> mUsb;
  std::shared_ptr<CDeviceEnumerator> mEnumerator;
  DeviceList mDevices;
  PrototypeMap mPrototypes;
  std::string mConfigFile;
  bool mHidRouter = false;
  InterfaceList mPenInterfaces;
  InterfaceList mTouchInterfaces;
  InterfaceList mBluetoothInterfaces;
  InterfaceList mLoaderInterfaces;
};

}  // namespace orv
