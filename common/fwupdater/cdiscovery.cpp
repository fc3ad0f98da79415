#include "common/fwupdater/cdiscovery.h"

#include "common/fwupdater/cbulkfldeviceinterface.h"
#include "common/fwupdater/chidconnection.h"
#include "common/fwupdater/chidfldeviceinterface.h"
#include "common/fwupdater/ci2cfldeviceinterface.h"

namespace orv {
namespace {

struct SUsage {
  uint32_t usage;
  uint32_t page;
};

std::shared_ptr<CFLDeviceInterface>& Slot(CDevice& device_I, int board_I)
{
  switch (board_I) {
    case EUPDATETYPE_TOUCH: return device_I.mTouchInterface;
    case EUPDATETYPE_BLUETOOTH: return device_I.mBluetoothInterface;
    default: return device_I.mPenInterface;
  }
}

bool HasBoard(const CDevice& device_I, int board_I)
{
  return board_I == EUPDATETYPE_TOUCH ? device_I.mHasTouch : device_I.mHasBluetooth;
}

// All five must hold: usage, usage page, vendor id, product id and transport of the board.
bool Matches(const CDevice& prototype_I, int board_I, CFLDeviceInterface& interface_I, SUsage expected_I)
{
  return interface_I.GetUsage() == expected_I.usage && interface_I.GetUsagePage() == expected_I.page &&
         interface_I.GetVendorId() == prototype_I.mVendorId[board_I] &&
         interface_I.GetProductId() == prototype_I.mProductId[board_I] &&
         interface_I.GetInterfaceType() == prototype_I.mInterfaceType[board_I];
}

}  // namespace

CDiscovery::CDiscovery(std::shared_ptr<CHidSystem> hid_I, std::shared_ptr<CUsbSystem> usb_I,
                       std::shared_ptr<CDeviceEnumerator> enumerator_I, std::string configFile_I)
    : mHid(std::move(hid_I)),
      mUsb(std::move(usb_I)),
      mEnumerator(std::move(enumerator_I)),
      mConfigFile(std::move(configFile_I))
{
}

bool CDiscovery::Discover()
{
  // The table is read lazily and again on every run until it holds something.
  if (mPrototypes.empty()) {
    CTopologyReader reader;
    reader.Load(mConfigFile);
    mPrototypes = reader.GetPrototypes();
  }
  mDevices.clear();
  mPenInterfaces.clear();
  mTouchInterfaces.clear();
  mBluetoothInterfaces.clear();
  mLoaderInterfaces.clear();

  const std::vector<std::string> hidPaths = mEnumerator->EnumerateInterfacePaths(EDEVICECLASS_HID);
  mHidRouter = DetectHidRouter(hidPaths);
  CollectInterfaces(hidPaths, EINTERFACETYPE_HID);
  // The same collections are tried again as I2C tunnels.
  const std::vector<std::string> tunnelPaths = mEnumerator->EnumerateInterfacePaths(EDEVICECLASS_HID);
  mHidRouter = DetectHidRouter(tunnelPaths);
  CollectInterfaces(tunnelPaths, EINTERFACETYPE_I2C);
  CollectInterfaces(mEnumerator->EnumerateInterfacePaths(EDEVICECLASS_BULK), EINTERFACETYPE_BULK);
  GroupDevices();
  return true;
}

std::shared_ptr<CDevice> CDiscovery::FindDevicePrototype(uint32_t vendorId_I, uint32_t productId_I) const
{
  const auto found = mPrototypes.find(vendorId_I + productId_I);
  return found == mPrototypes.end() ? nullptr : std::make_shared<CDevice>(found->second);
}

std::shared_ptr<CFLDeviceInterface> CDiscovery::CreateInterface(int32_t type_I, const std::string& path_I) const
{
  switch (type_I) {
    case EINTERFACETYPE_HID: return std::make_shared<CHIDFLDeviceInterface>(path_I, mHid);
    case EINTERFACETYPE_BULK: return std::make_shared<CBulkFLDeviceInterface>(path_I, mUsb);
    case EINTERFACETYPE_I2C: return std::make_shared<CI2CFLDeviceInterface>(path_I, mHid);
    default: return nullptr;
  }
}

bool CDiscovery::DetectHidRouter(const std::vector<std::string>& paths_I)
{
  for (const std::string& path : paths_I) {
    CHIDFLDeviceInterface candidate(path, mHid);
    if (!candidate.QueryAttributes()) continue;
    const std::shared_ptr<CDevice> prototype = FindDevicePrototype(candidate.GetVendorId(), candidate.GetProductId());
    if (!prototype || prototype->mName.empty()) continue;
    const bool routerUsage = candidate.GetUsage() == kRouterPenUsage || candidate.GetUsage() == kRouterTouchUsage;
    if (routerUsage && candidate.GetUsagePage() == kHidRouterUsagePage) return true;
  }
  return false;
}

void CDiscovery::CollectInterfaces(const std::vector<std::string>& paths_I, int32_t type_I)
{
  for (const std::string& path : paths_I) {
    const std::shared_ptr<CFLDeviceInterface> candidate = CreateInterface(type_I, path);
    if (!candidate || !candidate->QueryAttributes()) continue;
    const std::shared_ptr<CDevice> prototype =
        FindDevicePrototype(candidate->GetVendorId(), candidate->GetProductId());
    if (!prototype || prototype->mName.empty()) continue;
    if (prototype->mIsLoader) {
      // A loader is known by its ids alone; an I2C board never shows up as a loader of its own.
      if (type_I == EINTERFACETYPE_I2C) continue;
      candidate->SetLoaderMode(true);
      mLoaderInterfaces.push_back(candidate);
      continue;
    }
    if (IsPenInterface(*prototype, *candidate)) mPenInterfaces.push_back(candidate);
    if (IsTouchInterface(*prototype, *candidate)) mTouchInterfaces.push_back(candidate);
    if (IsBluetoothInterface(*prototype, *candidate)) mBluetoothInterfaces.push_back(candidate);
  }
}

bool CDiscovery::IsPenInterface(const CDevice& prototype_I, CFLDeviceInterface& interface_I) const
{
  const SUsage expected = mHidRouter ? SUsage{kRouterPenUsage, kHidRouterUsagePage}
                                     : SUsage{prototype_I.mUsageId[EUPDATETYPE_PEN], prototype_I.mUsagePage[EUPDATETYPE_PEN]};
  return Matches(prototype_I, EUPDATETYPE_PEN, interface_I, expected);
}

bool CDiscovery::IsTouchInterface(const CDevice& prototype_I, CFLDeviceInterface& interface_I) const
{
  SUsage expected{prototype_I.mUsageId[EUPDATETYPE_TOUCH], prototype_I.mUsagePage[EUPDATETYPE_TOUCH]};
  if (interface_I.GetInterfaceType() == EINTERFACETYPE_BULK) {
    expected = SUsage{0, 0};
  } else if (mHidRouter) {
    const bool separateTouch =
        interface_I.GetInterfaceType() == EINTERFACETYPE_HID && prototype_I.mIntoBLMode[EUPDATETYPE_PEN];
    expected = SUsage{separateTouch ? kRouterTouchUsage : kRouterPenUsage, kHidRouterUsagePage};
  }
  return Matches(prototype_I, EUPDATETYPE_TOUCH, interface_I, expected);
}

bool CDiscovery::IsBluetoothInterface(const CDevice& prototype_I, CFLDeviceInterface& interface_I) const
{
  SUsage expected{prototype_I.mUsageId[EUPDATETYPE_BLUETOOTH], prototype_I.mUsagePage[EUPDATETYPE_BLUETOOTH]};
  if (interface_I.GetInterfaceType() == EINTERFACETYPE_BULK) {
    expected = SUsage{0, 0};
  } else if (mHidRouter) {
    expected = SUsage{kRouterPenUsage, kHidRouterUsagePage};
  }
  return Matches(prototype_I, EUPDATETYPE_BLUETOOTH, interface_I, expected);
}

bool CDiscovery::ShareParent(const CDevice& device_I, const std::shared_ptr<CFLDeviceInterface>& first_I,
                             const std::shared_ptr<CFLDeviceInterface>& second_I, int secondBoard_I) const
{
  if (!first_I || !second_I) return false;
  const std::string first = first_I->GetParentDeviceId(device_I.mTopology[EUPDATETYPE_PEN]);
  const std::string second = second_I->GetParentDeviceId(device_I.mTopology[secondBoard_I]);
  return !first.empty() && first == second;
}

void CDiscovery::GroupDevices()
{
  DeviceList devices;
  for (const std::shared_ptr<CFLDeviceInterface>& pen : mPenInterfaces) {
    const std::shared_ptr<CDevice> device = FindDevicePrototype(pen->GetVendorId(), pen->GetProductId());
    device->mPenInterface = pen;
    devices.push_back(device);
  }
  PlaceBoardInterfaces(mTouchInterfaces, EUPDATETYPE_TOUCH, devices);
  PlaceBoardInterfaces(mBluetoothInterfaces, EUPDATETYPE_BLUETOOTH, devices);
  for (const std::shared_ptr<CFLDeviceInterface>& loader : mLoaderInterfaces) {
    PlaceLoaderInterface(loader, devices);
  }
  mDevices.insert(mDevices.end(), devices.begin(), devices.end());
}

// Each interface joins the first device of its kind whose pen interface shares its ancestor; one that
// joins none still makes a device of its own, without the interface.
void CDiscovery::PlaceBoardInterfaces(const InterfaceList& interfaces_I, int board_I, DeviceList& devices_IO) const
{
  for (const std::shared_ptr<CFLDeviceInterface>& candidate : interfaces_I) {
    bool placed = false;
    for (const std::shared_ptr<CDevice>& device : devices_IO) {
      std::shared_ptr<CFLDeviceInterface>& slot = Slot(*device, board_I);
      if (HasBoard(*device, board_I) && !slot && ShareParent(*device, device->mPenInterface, candidate, board_I)) {
        slot = candidate;
        placed = true;
        break;
      }
    }
    if (!placed) {
      devices_IO.push_back(FindDevicePrototype(candidate->GetVendorId(), candidate->GetProductId()));
    }
  }
}

// A loader interface fills the pen slot of a device whose touch interface it shares an ancestor with, or
// the touch slot of one whose pen interface it does; otherwise it is a device of its own.
void CDiscovery::PlaceLoaderInterface(const std::shared_ptr<CFLDeviceInterface>& loader_I, DeviceList& devices_IO) const
{
  bool matched = false;
  for (const std::shared_ptr<CDevice>& device : devices_IO) {
    bool placed = false;
    if (!device->mPenInterface && ShareParent(*device, loader_I, device->mTouchInterface, EUPDATETYPE_TOUCH)) {
      device->mPenInterface = loader_I;
      placed = true;
    } else if (device->mHasTouch && !device->mTouchInterface &&
               ShareParent(*device, device->mPenInterface, loader_I, EUPDATETYPE_TOUCH)) {
      device->mTouchInterface = loader_I;
      placed = true;
    }
    if (placed) {
      device->mIsLoader = true;
      matched = true;
    }
  }
  if (matched) return;
  const std::shared_ptr<CDevice> device = FindDevicePrototype(loader_I->GetVendorId(), loader_I->GetProductId());
  device->mPenInterface = loader_I;
  device->mIsLoader = true;
  devices_IO.push_back(device);
}

}  // namespace orv
