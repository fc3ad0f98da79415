#include "linux/common/clinuxdeviceevents.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "common/fwupdater/cdevice.h"

namespace orv {
namespace {

std::vector<std::string> HidPaths(udev* udev_I)
{
  std::vector<std::string> paths;
  for (const UdevDevicePtr& hidraw : InitialisedDevices(udev_I, "hidraw", nullptr)) {
    for (const std::string& path : HidCollectionPaths(hidraw.get())) paths.push_back(path);
  }
  return paths;
}

bool IsBulkBoard(udev* udev_I, udev_device* usbDevice_I)
{
  return HexAttribute(usbDevice_I, "idVendor") == DefaultVendorId && HasVendorInterface(udev_I, usbDevice_I);
}

std::vector<std::string> BulkPaths(udev* udev_I)
{
  std::vector<std::string> paths;
  for (const UdevDevicePtr& device : InitialisedDevices(udev_I, "usb", "usb_device")) {
    const char* node = udev_device_get_devnode(device.get());
    if (node != nullptr && IsBulkBoard(udev_I, device.get())) paths.push_back(node);
  }
  return paths;
}

bool Is(const char* value_I, const char* expected_I) { return value_I != nullptr && std::strcmp(value_I, expected_I) == 0; }

}  // namespace

std::vector<std::string> CLinuxDeviceEnumerator::EnumerateInterfacePaths(EDeviceClass class_I)
{
  UdevPtr context(udev_new());
  if (!context) return {};
  return class_I == EDEVICECLASS_HID ? HidPaths(context.get()) : BulkPaths(context.get());
}

CLinuxDeviceEvents::CLinuxDeviceEvents() : mUdev(udev_new())
{
  if (!mUdev) return;
  UdevMonitorPtr monitor(udev_monitor_new_from_netlink(mUdev.get(), "udev"));
  if (!monitor || udev_monitor_filter_add_match_subsystem_devtype(monitor.get(), "hidraw", nullptr) < 0 ||
      udev_monitor_filter_add_match_subsystem_devtype(monitor.get(), "usb", nullptr) < 0 ||
      udev_monitor_enable_receiving(monitor.get()) < 0) {
    return;
  }
  mMonitor = std::move(monitor);
  // What is present now: its removal must name the paths the discovery saw.
  mHidNodes = PresentHidNodes();
  for (const std::string& node : BulkPaths(mUdev.get())) mBulkNodes.insert(node);
}

void CLinuxDeviceEvents::Subscribe(CDeviceEventSink* sink_I)
{
  if (sink_I != nullptr && std::find(mSinks.begin(), mSinks.end(), sink_I) == mSinks.end()) mSinks.push_back(sink_I);
}

void CLinuxDeviceEvents::Unsubscribe(CDeviceEventSink* sink_I)
{
  mSinks.erase(std::remove(mSinks.begin(), mSinks.end(), sink_I), mSinks.end());
}

void CLinuxDeviceEvents::DeliverDueEvents()
{
  if (!mMonitor) return;
  // The monitor's socket does not block: this takes what has arrived and returns. When the socket overflowed
  // (the kernel dropped events and says so once), what changed meanwhile is found by looking again.
  for (;;) {
    errno = 0;
    UdevDevicePtr device{udev_monitor_receive_device(mMonitor.get())};
    if (device) {
      Deliver(Translate(device.get()));
    } else if (errno == ENOBUFS) {
      Deliver(Resynchronise());
    } else {
      return;
    }
  }
}

void CLinuxDeviceEvents::Deliver(const std::vector<SEvent>& events_I)
{
  for (const SEvent& event : events_I) {
    // A sink may unsubscribe itself or another one while the event goes round.
    const std::vector<CDeviceEventSink*> sinks = mSinks;
    for (CDeviceEventSink* sink : sinks) {
      if (std::find(mSinks.begin(), mSinks.end(), sink) == mSinks.end()) continue;
      if (event.arrival) {
        sink->OnInterfaceArrival(event.path, event.deviceClass);
      } else {
        sink->OnInterfaceRemoval(event.path, event.deviceClass);
      }
    }
  }
}

std::map<std::string, CLinuxDeviceEvents::SHidNode> CLinuxDeviceEvents::PresentHidNodes()
{
  std::map<std::string, SHidNode> nodes;
  for (const UdevDevicePtr& hidraw : InitialisedDevices(mUdev.get(), "hidraw", nullptr)) {
    const char* node = udev_device_get_devnode(hidraw.get());
    if (node != nullptr) nodes[node] = HidNodeOf(hidraw.get());
  }
  return nodes;
}

// Removals of what is gone, then arrivals of what is new. A node name the kernel gave again to another
// device counts as both.
std::vector<CLinuxDeviceEvents::SEvent> CLinuxDeviceEvents::Resynchronise()
{
  std::map<std::string, SHidNode> present = PresentHidNodes();
  const std::vector<std::string> bulkPaths = BulkPaths(mUdev.get());
  const std::set<std::string> bulkNodes(bulkPaths.begin(), bulkPaths.end());
  std::vector<SEvent> events;
  for (const auto& [node, known] : mHidNodes) {
    const auto now = present.find(node);
    if (now != present.end() && now->second.syspath == known.syspath) continue;
    for (const std::string& path : known.paths) events.push_back({path, EDEVICECLASS_HID, false});
  }
  for (const std::string& node : mBulkNodes) {
    if (bulkNodes.count(node) == 0) events.push_back({node, EDEVICECLASS_BULK, false});
  }
  for (const auto& [node, now] : present) {
    const auto known = mHidNodes.find(node);
    if (known != mHidNodes.end() && known->second.syspath == now.syspath) continue;
    for (const std::string& path : now.paths) events.push_back({path, EDEVICECLASS_HID, true});
  }
  for (const std::string& node : bulkNodes) {
    if (mBulkNodes.count(node) == 0) events.push_back({node, EDEVICECLASS_BULK, true});
  }
  mHidNodes = std::move(present);
  mBulkNodes = bulkNodes;
  return events;
}

CLinuxDeviceEvents::SHidNode CLinuxDeviceEvents::HidNodeOf(udev_device* hidraw_I)
{
  return {udev_device_get_syspath(hidraw_I), HidCollectionPaths(hidraw_I)};
}

// The kernel reports an overflow of the monitor's socket before what the socket still holds: events from before
// the look that followed come after it, while the node may be another device's by now. Neither an arrival that
// look found, nor one of a device gone since, nor a removal of a device it found gone is told.
std::vector<CLinuxDeviceEvents::SEvent> CLinuxDeviceEvents::TranslateHid(udev_device* hidraw_I, bool added_I)
{
  const char* node = udev_device_get_devnode(hidraw_I);
  const char* syspath = udev_device_get_syspath(hidraw_I);
  if (node == nullptr || syspath == nullptr) return {};
  auto known = mHidNodes.find(node);
  const bool same = known != mHidNodes.end() && known->second.syspath == syspath;
  if (added_I && (same || !UdevDevicePtr(udev_device_new_from_syspath(mUdev.get(), syspath)))) return {};
  if (!added_I && !same) return {};
  if (added_I) known = mHidNodes.insert_or_assign(node, HidNodeOf(hidraw_I)).first;
  std::vector<SEvent> events;
  for (const std::string& path : known->second.paths) events.push_back({path, EDEVICECLASS_HID, added_I});
  if (!added_I) mHidNodes.erase(known);
  return events;
}

std::vector<CLinuxDeviceEvents::SEvent> CLinuxDeviceEvents::Translate(udev_device* device_I)
{
  const char* action = udev_device_get_action(device_I);
  const bool added = Is(action, "add");
  const bool removed = Is(action, "remove");
  if (Is(udev_device_get_subsystem(device_I), "hidraw")) {
    return added || removed ? TranslateHid(device_I, added) : std::vector<SEvent>{};
  }
  std::vector<SEvent> events;
  // A bulk board arrives once its vendor interface is there, and leaves with its USB device.
  if (added && Is(udev_device_get_devtype(device_I), "usb_interface") &&
      HexAttribute(device_I, "bInterfaceClass") == 0xFFu) {
    udev_device* usbDevice = UsbDeviceAbove(device_I);
    const char* node = usbDevice ? udev_device_get_devnode(usbDevice) : nullptr;
    if (node != nullptr && HexAttribute(usbDevice, "idVendor") == DefaultVendorId && mBulkNodes.insert(node).second) {
      events.push_back({node, EDEVICECLASS_BULK, true});
    }
  } else if (removed && Is(udev_device_get_devtype(device_I), "usb_device")) {
    const char* node = udev_device_get_devnode(device_I);
    if (node != nullptr && mBulkNodes.erase(node) > 0) events.push_back({node, EDEVICECLASS_BULK, false});
  }
  return events;
}

}  // namespace orv
