// libudev for the rest of the Linux ports: owners of its objects, the device nodes behind the system's
// paths, and the device tree those nodes hang in, shaped as the discovery expects it.
//
// Paths: a HID collection is its hidraw node ("/dev/hidraw3"), or, when the node's report descriptor
// declares several top-level collections, the node with the collection's number ("/dev/hidraw3#col02");
// a bulk board is its usbfs node ("/dev/bus/usb/001/007").
//
// Device tree: a node's instance id is its sysfs path. Level 0 is the node of the interface itself (the
// HID device with the collection's number, or the bulk board's USB device); one level up from a HID device
// is its USB interface when the USB device is composite (several interfaces), else the USB device itself;
// from there on the sysfs parents (hubs, the host controller, ...). A board's collections therefore pair at
// the same levels as in the Windows device tree, where a composite device has a node per interface and a
// plain device has none. Stepping above a root stays at the root.
#pragma once

#include <libudev.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace orv {

struct SUdevDeleter {
  void operator()(udev* object_I) const { udev_unref(object_I); }
  void operator()(udev_device* object_I) const { udev_device_unref(object_I); }
  void operator()(udev_enumerate* object_I) const { udev_enumerate_unref(object_I); }
  void operator()(udev_monitor* object_I) const { udev_monitor_unref(object_I); }
};
using UdevPtr = std::unique_ptr<udev, SUdevDeleter>;
using UdevDevicePtr = std::unique_ptr<udev_device, SUdevDeleter>;
using UdevEnumeratePtr = std::unique_ptr<udev_enumerate, SUdevDeleter>;
using UdevMonitorPtr = std::unique_ptr<udev_monitor, SUdevDeleter>;

constexpr const char* kHidrawPrefix = "/dev/hidraw";
constexpr const char* kUsbfsPrefix = "/dev/bus/usb/";

// A sysfs attribute without its trailing white space; empty when absent.
std::string SysAttribute(udev_device* device_I, const char* name_I);
// A hexadecimal sysfs attribute (idVendor, bcdDevice, ...); empty when absent or not a number.
std::optional<uint32_t> HexAttribute(udev_device* device_I, const char* name_I);

// A HID collection path split into its node and the collection's index (0 for a plain node path).
struct SHidPath {
  std::string node;
  size_t collection = 0;
};
std::optional<SHidPath> SplitHidPath(const std::string& path_I);
// The path of collection index_I of a node with count_I top-level collections.
std::string HidCollectionPath(const std::string& node_I, size_t index_I, size_t count_I);

// The hidraw device of a node, and the USB device of a usbfs node; empty when absent.
UdevDevicePtr HidrawDevice(udev* udev_I, const std::string& node_I);
UdevDevicePtr UsbDeviceOfNode(udev* udev_I, const std::string& node_I);
// The USB device a device hangs under (itself when it is one); borrowed from device_I.
udev_device* UsbDeviceAbove(udev_device* device_I);
// The devices of a subsystem (of a devtype, unless null) that udev has finished with. A device udev is still
// setting up (rules, owner, mode) is left out: the monitor reports it once udev is done.
std::vector<UdevDevicePtr> InitialisedDevices(udev* udev_I, const char* subsystem_I, const char* devtype_I);
// The version of a hidraw device's HID device: the bcdDevice of the USB device it is when it is on USB; on
// another bus (bluetooth), the version of the input device the kernel made for it; 0 when unknown.
uint16_t HidDeviceVersion(udev* udev_I, udev_device* hidraw_I);
// The report descriptor of a hidraw device's HID device, from sysfs.
std::vector<uint8_t> SysfsReportDescriptor(udev_device* hidraw_I);
// The top-level collection paths of a hidraw device: one per collection, the plain node when it declares one
// (or when its descriptor cannot be read: opening it tells).
std::vector<std::string> HidCollectionPaths(udev_device* hidraw_I);
// Whether a USB device has an interface of the vendor class, as a bulk board has.
bool HasVendorInterface(udev* udev_I, udev_device* usbDevice_I);

// "VVVV:PPPP", the vendor and product ids of the device behind a hidraw or usbfs node; empty when unknown.
std::string NodeIdentity(const std::string& node_I);

// The device tree, as described above.
std::string LinuxInstanceIdOfPath(const std::string& path_I);
std::string LinuxAncestorId(const std::string& instanceId_I, uint8_t levels_I);

}  // namespace orv
