#include "linux/common/clinuxdeviceevents.h"

#include <algorithm>
#include <cstring>

#include "common/fwupdater/cdevice.h"

namespace orv {
namespace {

std::vector<std::string> HidPaths(udev* udev_I)
{
  std::vector<std::string> paths;
  UdevEnumeratePtr enumerate(udev_enumerate_new(udev_I));
  if (!enumerate) return paths;
  udev_enumerate_add_match_subsystem(enumerate.get(), "hidraw");
  udev_enumerate_scan_devices(enumerate.get());
  udev_list_entry* entry = nullptr;
  udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(enumerate.get()))
  {
    UdevDevicePtr hidraw(udev_device_new_from_syspath(udev_I, udev_list_entry_get_name(entry)));
    if (!hidraw) continue;
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
  UdevEnumeratePtr enumerate(udev_enumerate_new(udev_I));
  if (!enumerate) return paths;
  udev_enumerate_add_match_subsystem(enumerate.get(), "usb");
  udev_enumerate_add_match_property(enumerate.get(), "DEVTYPE", "usb_device");
  udev_enumerate_scan_devices(enumerate.get());
  udev_list_entry* entry = nullptr;
  udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(enumerate.get()))
  {
    UdevDevicePtr device(udev_device_new_from_syspath(udev_I, udev_list_entry_get_name(entry)));
    const char* node = device ? udev_device_get_devnode(device.get()) : nullptr;
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
  UdevEnumeratePtr enumerate(udev_enumerate_new(mUdev.get()));
  if (!enumerate) return;
  udev_enumerate_add_match_subsystem(enumerate.get(), "hidraw");
  udev_enumerate_scan_devices(enumerate.get());
  udev_list_entry* entry = nullptr;
  udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(enumerate.get()))
  {
    UdevDevicePtr hidraw(udev_device_new_from_syspath(mUdev.get(), udev_list_entry_get_name(entry)));
    if (hidraw) Remember(hidraw.get());
  }
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
  // The monitor's socket does not block: this takes what has arrived and returns.
  while (UdevDevicePtr device{udev_monitor_receive_device(mMonitor.get())}) {
    for (const SEvent& event : Translate(device.get())) {
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
}

void CLinuxDeviceEvents::Remember(udev_device* hidraw_I)
{
  const char* node = udev_device_get_devnode(hidraw_I);
  if (node != nullptr) mHidPaths[node] = HidCollectionPaths(hidraw_I);
}

std::vector<CLinuxDeviceEvents::SEvent> CLinuxDeviceEvents::Translate(udev_device* device_I)
{
  const char* action = udev_device_get_action(device_I);
  const bool added = Is(action, "add");
  const bool removed = Is(action, "remove");
  std::vector<SEvent> events;
  if (Is(udev_device_get_subsystem(device_I), "hidraw")) {
    const char* node = udev_device_get_devnode(device_I);
    if (node == nullptr || (!added && !removed)) return events;
    if (added) Remember(device_I);
    const auto known = mHidPaths.find(node);
    const std::vector<std::string> paths = known != mHidPaths.end() ? known->second : std::vector<std::string>{node};
    for (const std::string& path : paths) events.push_back({path, EDEVICECLASS_HID, added});
    if (removed && known != mHidPaths.end()) mHidPaths.erase(known);
    return events;
  }
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
