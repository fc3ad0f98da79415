#include "linux/common/clinuxusbsystem.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <optional>

#include "linux/common/clinuxudev.h"

namespace orv {
namespace {

constexpr size_t kDeviceDescriptorLength = 18;
constexpr uint8_t kRecipientMask = 0x1F;

// The first vendor-class interface of the device's active configuration.
std::optional<uint8_t> VendorInterface(libusb_device* device_I)
{
  libusb_config_descriptor* config = nullptr;
  if (libusb_get_active_config_descriptor(device_I, &config) != LIBUSB_SUCCESS) return std::nullopt;
  std::optional<uint8_t> found;
  for (uint8_t i = 0; i < config->bNumInterfaces && !found; ++i) {
    const libusb_interface& interface = config->interface[i];
    if (interface.num_altsetting > 0 && interface.altsetting[0].bInterfaceClass == LIBUSB_CLASS_VENDOR_SPEC) {
      found = interface.altsetting[0].bInterfaceNumber;
    }
  }
  libusb_free_config_descriptor(config);
  return found;
}

// libusb tells only EACCES for a refused open; a node refused with EPERM (as a device cgroup refuses one)
// comes back as an I/O error, so the node itself is asked.
bool RefusesThisUser(const std::string& node_I)
{
  const int fd = open(node_I.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) return IsPermissionError(errno);
  close(fd);
  return false;
}

void PutLe16(std::vector<uint8_t>& bytes_IO, uint16_t value_I)
{
  bytes_IO.push_back(static_cast<uint8_t>(value_I));
  bytes_IO.push_back(static_cast<uint8_t>(value_I >> 8));
}

// The listed device at the bus and address, when it is a board (it has a vendor interface): opened into
// handle_O, the number of that interface in interface_O. Otherwise the libusb error.
int OpenBoard(libusb_context* context_I, unsigned bus_I, unsigned address_I, const std::string& node_I,
              const CLinuxAccessLog* log_I, libusb_device_handle*& handle_O, uint8_t& interface_O)
{
  libusb_device** list = nullptr;
  const ssize_t count = libusb_get_device_list(context_I, &list);
  int opened = LIBUSB_ERROR_NOT_FOUND;
  for (ssize_t i = 0; i < count; ++i) {
    if (libusb_get_bus_number(list[i]) != bus_I || libusb_get_device_address(list[i]) != address_I) continue;
    const std::optional<uint8_t> interface = VendorInterface(list[i]);
    opened = LIBUSB_ERROR_NOT_SUPPORTED;
    if (!interface) break;
    interface_O = *interface;
    // udev may not yet have given the user a board that has just re-enumerated.
    RetryWhileRefused(node_I, log_I, [&] {
      opened = libusb_open(list[i], &handle_O);
      if (opened == LIBUSB_ERROR_IO && RefusesThisUser(node_I)) opened = LIBUSB_ERROR_ACCESS;
      return opened == LIBUSB_ERROR_ACCESS;
    });
    break;
  }
  if (count >= 0) libusb_free_device_list(list, 1);
  return opened;
}

}  // namespace

CLinuxUsbDevice::CLinuxUsbDevice(libusb_context* context_I, libusb_device_handle* handle_I, uint8_t interface_I,
                                 bool claimed_I)
    : mContext(context_I), mHandle(handle_I), mInterface(interface_I), mClaimed(claimed_I)
{
}

CLinuxUsbDevice::~CLinuxUsbDevice()
{
  if (mClaimed) libusb_release_interface(mHandle, mInterface);
  libusb_close(mHandle);
  libusb_exit(mContext);
}

// As the device gave it at enumeration, laid out byte for byte.
bool CLinuxUsbDevice::GetDeviceDescriptor(std::vector<uint8_t>& descriptor_O)
{
  libusb_device_descriptor descriptor{};
  if (libusb_get_device_descriptor(libusb_get_device(mHandle), &descriptor) != LIBUSB_SUCCESS) return false;
  std::vector<uint8_t> bytes{descriptor.bLength, descriptor.bDescriptorType};
  PutLe16(bytes, descriptor.bcdUSB);
  bytes.insert(bytes.end(), {descriptor.bDeviceClass, descriptor.bDeviceSubClass, descriptor.bDeviceProtocol,
                             descriptor.bMaxPacketSize0});
  PutLe16(bytes, descriptor.idVendor);
  PutLe16(bytes, descriptor.idProduct);
  PutLe16(bytes, descriptor.bcdDevice);
  bytes.insert(bytes.end(), {descriptor.iManufacturer, descriptor.iProduct, descriptor.iSerialNumber,
                             descriptor.bNumConfigurations});
  if (bytes.size() != kDeviceDescriptorLength) return false;
  descriptor_O.swap(bytes);
  return true;
}

bool CLinuxUsbDevice::ControlTransfer(const SUsbSetupPacket& setup_I, std::vector<uint8_t>& data_IO)
{
  if (data_IO.size() < setup_I.length) return false;
  // The interface of a request to an interface is the one claimed, whatever the caller's wIndex says.
  const bool toInterface = (setup_I.requestType & kRecipientMask) == LIBUSB_RECIPIENT_INTERFACE;
  const uint16_t index = toInterface ? static_cast<uint16_t>((setup_I.index & 0xFF00) | mInterface) : setup_I.index;
  const int result = libusb_control_transfer(mHandle, setup_I.requestType, setup_I.request, setup_I.value, index,
                                             data_IO.data(), setup_I.length, kTimeoutMs);
  if (result < 0) return false;
  if (setup_I.requestType & LIBUSB_ENDPOINT_IN) data_IO.resize(static_cast<size_t>(result));
  return true;
}

std::unique_ptr<CUsbDevice> CLinuxUsbSystem::Open(const std::string& path_I)
{
  unsigned bus = 0, address = 0;
  char rest = 0;
  if (std::sscanf(path_I.c_str(), "/dev/bus/usb/%3u/%3u%c", &bus, &address, &rest) != 2) return nullptr;
  libusb_context* context = nullptr;
  if (libusb_init(&context) != LIBUSB_SUCCESS) return nullptr;
  libusb_device_handle* handle = nullptr;
  uint8_t interface = 0;
  const int opened = OpenBoard(context, bus, address, path_I, mAccessLog.get(), handle, interface);
  if (opened == LIBUSB_ERROR_ACCESS && mAccessLog) mAccessLog->Refused(path_I);
  if (opened != LIBUSB_SUCCESS) {
    libusb_exit(context);
    return nullptr;
  }
  // Claiming the vendor interface keeps other programs off while the board is ours; a driver bound to that
  // interface alone steps aside meanwhile (libusb gives it back on release).
  libusb_set_auto_detach_kernel_driver(handle, 1);
  const bool claimed = libusb_claim_interface(handle, interface) == LIBUSB_SUCCESS;
  return std::make_unique<CLinuxUsbDevice>(context, handle, interface, claimed);
}

std::string CLinuxUsbSystem::GetAncestorId(const std::string& instanceId_I, uint8_t levels_I)
{
  return LinuxAncestorId(instanceId_I, levels_I);
}

std::string CLinuxUsbSystem::InstanceIdOfPath(const std::string& path_I) { return LinuxInstanceIdOfPath(path_I); }

}  // namespace orv
