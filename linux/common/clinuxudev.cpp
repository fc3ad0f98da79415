#include "linux/common/clinuxudev.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/fwupdater/chidreportdescriptor.h"

namespace orv {
namespace {

constexpr const char* kCollectionMark = "#col";
constexpr uint32_t kVendorClass = 0xFF;
constexpr unsigned kUsbBus = 0x03;

bool Is(const char* value_I, const char* expected_I) { return value_I != nullptr && std::strcmp(value_I, expected_I) == 0; }

bool IsUsbDevice(udev_device* device_I)
{
  return Is(udev_device_get_subsystem(device_I), "usb") && Is(udev_device_get_devtype(device_I), "usb_device");
}

bool IsUsbInterface(udev_device* device_I)
{
  return Is(udev_device_get_subsystem(device_I), "usb") && Is(udev_device_get_devtype(device_I), "usb_interface");
}

// The USB stack gives a device with several interfaces a node per interface (unless the device declares a
// class of its own for the whole device).
bool IsComposite(udev_device* usbDevice_I)
{
  const std::optional<uint32_t> deviceClass = HexAttribute(usbDevice_I, "bDeviceClass");
  const bool perInterface = !deviceClass || *deviceClass == 0x00 || *deviceClass == 0xEF;
  const std::string interfaces = SysAttribute(usbDevice_I, "bNumInterfaces");
  return perInterface && std::atoi(interfaces.c_str()) > 1;
}

// One step up the tree as the discovery sees it; borrowed from device_I. A root is its own parent.
udev_device* TreeParent(udev_device* device_I)
{
  udev_device* parent = udev_device_get_parent(device_I);
  if (parent == nullptr) return device_I;
  if (!IsUsbInterface(parent) || IsUsbInterface(device_I)) return parent;
  udev_device* usbDevice = udev_device_get_parent(parent);
  return usbDevice != nullptr && IsUsbDevice(usbDevice) && !IsComposite(usbDevice) ? usbDevice : parent;
}

// The first vendor-class interface of a USB device; empty when it has none.
UdevDevicePtr VendorInterface(udev* udev_I, udev_device* usbDevice_I)
{
  UdevEnumeratePtr enumerate(udev_enumerate_new(udev_I));
  if (!enumerate) return nullptr;
  udev_enumerate_add_match_subsystem(enumerate.get(), "usb");
  udev_enumerate_add_match_parent(enumerate.get(), usbDevice_I);
  udev_enumerate_scan_devices(enumerate.get());
  udev_list_entry* entry = nullptr;
  udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(enumerate.get()))
  {
    UdevDevicePtr candidate(udev_device_new_from_syspath(udev_I, udev_list_entry_get_name(entry)));
    if (candidate && IsUsbInterface(candidate.get()) && HexAttribute(candidate.get(), "bInterfaceClass") == kVendorClass) {
      return candidate;
    }
  }
  return nullptr;
}

// The USB device a hidraw device is part of; null for a HID device on another bus, even when that bus's
// adapter is a USB device (a bluetooth dongle). The HID device names its bus as "bus:vendor:product".
udev_device* UsbDeviceOfHid(udev_device* hidraw_I)
{
  udev_device* hid = udev_device_get_parent(hidraw_I);
  const char* id = hid ? udev_device_get_property_value(hid, "HID_ID") : nullptr;
  unsigned bus = 0;
  if (id != nullptr && std::sscanf(id, "%x:", &bus) == 1 && bus != kUsbBus) return nullptr;
  return UsbDeviceAbove(hidraw_I);
}

// The version an input device below a HID device carries; empty when there is none.
std::optional<uint32_t> InputVersion(udev* udev_I, udev_device* hid_I)
{
  UdevEnumeratePtr enumerate(udev_enumerate_new(udev_I));
  if (!enumerate) return std::nullopt;
  udev_enumerate_add_match_subsystem(enumerate.get(), "input");
  udev_enumerate_add_match_parent(enumerate.get(), hid_I);
  udev_enumerate_scan_devices(enumerate.get());
  udev_list_entry* entry = nullptr;
  udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(enumerate.get()))
  {
    UdevDevicePtr input(udev_device_new_from_syspath(udev_I, udev_list_entry_get_name(entry)));
    const std::optional<uint32_t> version = input ? HexAttribute(input.get(), "id/version") : std::nullopt;
    if (version) return version;
  }
  return std::nullopt;
}

std::string WithoutCollection(const std::string& instanceId_I)
{
  const size_t mark = instanceId_I.rfind(kCollectionMark);
  return mark == std::string::npos ? instanceId_I : instanceId_I.substr(0, mark);
}

}  // namespace

std::string SysAttribute(udev_device* device_I, const char* name_I)
{
  const char* value = udev_device_get_sysattr_value(device_I, name_I);
  std::string text = value == nullptr ? std::string() : std::string(value);
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ' || text.back() == '\t')) text.pop_back();
  return text;
}

std::optional<uint32_t> HexAttribute(udev_device* device_I, const char* name_I)
{
  const std::string text = SysAttribute(device_I, name_I);
  if (text.empty() || text.size() > 8) return std::nullopt;
  char* end = nullptr;
  const unsigned long value = std::strtoul(text.c_str(), &end, 16);
  if (end == nullptr || *end != '\0') return std::nullopt;
  return static_cast<uint32_t>(value);
}

std::optional<SHidPath> SplitHidPath(const std::string& path_I)
{
  if (path_I.rfind(kHidrawPrefix, 0) != 0) return std::nullopt;
  const size_t mark = path_I.find(kCollectionMark);
  if (mark == std::string::npos) return SHidPath{path_I, 0};
  const std::string number = path_I.substr(mark + std::strlen(kCollectionMark));
  if (number.empty() || number.size() > 3 || number.find_first_not_of("0123456789") != std::string::npos) {
    return std::nullopt;
  }
  const size_t collection = static_cast<size_t>(std::atoi(number.c_str()));
  if (collection == 0 || collection > kMaxHidCollections) return std::nullopt;
  return SHidPath{path_I.substr(0, mark), collection - 1};
}

std::string HidCollectionPath(const std::string& node_I, size_t index_I, size_t count_I)
{
  if (count_I <= 1) return node_I;
  char number[8];
  std::snprintf(number, sizeof(number), "%02zu", index_I + 1);
  return node_I + kCollectionMark + number;
}

UdevDevicePtr HidrawDevice(udev* udev_I, const std::string& node_I)
{
  if (node_I.rfind(kHidrawPrefix, 0) != 0) return nullptr;
  const std::string name = node_I.substr(std::strlen("/dev/"));
  return UdevDevicePtr(udev_device_new_from_subsystem_sysname(udev_I, "hidraw", name.c_str()));
}

UdevDevicePtr UsbDeviceOfNode(udev* udev_I, const std::string& node_I)
{
  unsigned bus = 0, address = 0;
  char rest = 0;
  if (std::sscanf(node_I.c_str(), "/dev/bus/usb/%3u/%3u%c", &bus, &address, &rest) != 2) return nullptr;
  UdevEnumeratePtr enumerate(udev_enumerate_new(udev_I));
  if (!enumerate) return nullptr;
  udev_enumerate_add_match_subsystem(enumerate.get(), "usb");
  udev_enumerate_add_match_property(enumerate.get(), "DEVTYPE", "usb_device");
  udev_enumerate_scan_devices(enumerate.get());
  udev_list_entry* entry = nullptr;
  udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(enumerate.get()))
  {
    UdevDevicePtr candidate(udev_device_new_from_syspath(udev_I, udev_list_entry_get_name(entry)));
    if (!candidate) continue;
    if (std::atoi(SysAttribute(candidate.get(), "busnum").c_str()) == static_cast<int>(bus) &&
        std::atoi(SysAttribute(candidate.get(), "devnum").c_str()) == static_cast<int>(address)) {
      return candidate;
    }
  }
  return nullptr;
}

udev_device* UsbDeviceAbove(udev_device* device_I)
{
  if (IsUsbDevice(device_I)) return device_I;
  return udev_device_get_parent_with_subsystem_devtype(device_I, "usb", "usb_device");
}

std::vector<UdevDevicePtr> InitialisedDevices(udev* udev_I, const char* subsystem_I, const char* devtype_I)
{
  std::vector<UdevDevicePtr> devices;
  UdevEnumeratePtr enumerate(udev_enumerate_new(udev_I));
  if (!enumerate) return devices;
  udev_enumerate_add_match_subsystem(enumerate.get(), subsystem_I);
  if (devtype_I != nullptr) udev_enumerate_add_match_property(enumerate.get(), "DEVTYPE", devtype_I);
  udev_enumerate_add_match_is_initialized(enumerate.get());
  udev_enumerate_scan_devices(enumerate.get());
  udev_list_entry* entry = nullptr;
  udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(enumerate.get()))
  {
    UdevDevicePtr device(udev_device_new_from_syspath(udev_I, udev_list_entry_get_name(entry)));
    if (device) devices.push_back(std::move(device));
  }
  return devices;
}

uint16_t HidDeviceVersion(udev* udev_I, udev_device* hidraw_I)
{
  if (udev_device* usbDevice = UsbDeviceOfHid(hidraw_I)) {
    return static_cast<uint16_t>(HexAttribute(usbDevice, "bcdDevice").value_or(0));
  }
  udev_device* hid = udev_device_get_parent(hidraw_I);
  return static_cast<uint16_t>(hid ? InputVersion(udev_I, hid).value_or(0) : 0);
}

std::vector<uint8_t> SysfsReportDescriptor(udev_device* hidraw_I)
{
  udev_device* hid = udev_device_get_parent(hidraw_I);
  if (hid == nullptr) return {};
  const std::string path = std::string(udev_device_get_syspath(hid)) + "/report_descriptor";
  FILE* file = std::fopen(path.c_str(), "rbe");
  if (file == nullptr) return {};
  std::vector<uint8_t> bytes(kMaxHidReportDescriptor + 1);
  const size_t read = std::fread(bytes.data(), 1, bytes.size(), file);
  std::fclose(file);
  bytes.resize(read);
  return bytes;
}

std::vector<std::string> HidCollectionPaths(udev_device* hidraw_I)
{
  const char* node = udev_device_get_devnode(hidraw_I);
  if (node == nullptr) return {};
  const size_t count = ParseTopLevelCollections(SysfsReportDescriptor(hidraw_I)).size();
  std::vector<std::string> paths;
  for (size_t i = 0; i < std::max<size_t>(count, 1); ++i) paths.push_back(HidCollectionPath(node, i, count));
  return paths;
}

bool HasVendorInterface(udev* udev_I, udev_device* usbDevice_I) { return VendorInterface(udev_I, usbDevice_I) != nullptr; }

std::string NodeIdentity(const std::string& node_I)
{
  UdevPtr context(udev_new());
  if (!context) return "";
  const bool isHid = node_I.rfind(kHidrawPrefix, 0) == 0;
  const UdevDevicePtr device = isHid ? HidrawDevice(context.get(), node_I) : UsbDeviceOfNode(context.get(), node_I);
  udev_device* usbDevice = !device ? nullptr : isHid ? UsbDeviceOfHid(device.get()) : UsbDeviceAbove(device.get());
  if (usbDevice != nullptr) {
    const std::optional<uint32_t> vendor = HexAttribute(usbDevice, "idVendor");
    const std::optional<uint32_t> product = HexAttribute(usbDevice, "idProduct");
    if (!vendor || !product) return "";
    char identity[16];
    std::snprintf(identity, sizeof(identity), "%04X:%04X", *vendor & 0xFFFF, *product & 0xFFFF);
    return identity;
  }
  // A HID device on another bus names its ids as "bus:vendor:product" (HID_ID=0005:00004F52:00000210).
  udev_device* hid = device ? udev_device_get_parent(device.get()) : nullptr;
  const char* id = hid ? udev_device_get_property_value(hid, "HID_ID") : nullptr;
  unsigned bus = 0, vendor = 0, product = 0;
  if (id == nullptr || std::sscanf(id, "%x:%x:%x", &bus, &vendor, &product) != 3) return "";
  char identity[16];
  std::snprintf(identity, sizeof(identity), "%04X:%04X", vendor & 0xFFFF, product & 0xFFFF);
  return identity;
}

std::string LinuxInstanceIdOfPath(const std::string& path_I)
{
  UdevPtr context(udev_new());
  if (!context) return "";
  if (const std::optional<SHidPath> hid = SplitHidPath(path_I)) {
    const UdevDevicePtr hidraw = HidrawDevice(context.get(), hid->node);
    udev_device* parent = hidraw ? udev_device_get_parent(hidraw.get()) : nullptr;
    if (parent == nullptr) return "";
    const size_t mark = path_I.find(kCollectionMark);
    return udev_device_get_syspath(parent) + (mark == std::string::npos ? std::string() : path_I.substr(mark));
  }
  const UdevDevicePtr usbDevice = UsbDeviceOfNode(context.get(), path_I);
  if (!usbDevice) return "";
  // A bulk function of a composite device has its own node, as on Windows.
  const UdevDevicePtr function = IsComposite(usbDevice.get()) ? VendorInterface(context.get(), usbDevice.get()) : nullptr;
  return udev_device_get_syspath(function ? function.get() : usbDevice.get());
}

std::string LinuxAncestorId(const std::string& instanceId_I, uint8_t levels_I)
{
  UdevPtr context(udev_new());
  if (!context) return "";
  const UdevDevicePtr start(udev_device_new_from_syspath(context.get(), WithoutCollection(instanceId_I).c_str()));
  if (!start) return "";
  if (levels_I == 0) return instanceId_I;
  udev_device* node = start.get();
  for (uint8_t level = 0; level < levels_I; ++level) node = TreeParent(node);
  return udev_device_get_syspath(node);
}

}  // namespace orv
