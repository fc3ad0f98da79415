#include "tests/linuxdevices/emulatedcomposite.h"

#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <cstring>

namespace orv::test {
namespace {

constexpr unsigned kHidInterface = 0;
constexpr unsigned kVendorInterface = 1;
constexpr uint8_t kTypeMask = 0x60;
constexpr uint8_t kVendorType = 0x40;
constexpr uint8_t kRecipientMask = 0x1F;
constexpr uint8_t kInterfaceRecipient = 0x01;
constexpr const char* kHidDriver = "usbhid";
constexpr const char* kUsbfs = "usbfs";

// The device descriptor and the one configuration: the HID interface (its class descriptor and interrupt
// endpoint) and the vendor interface, which works through endpoint 0 alone.
std::vector<uint8_t> CompositeDescriptors()
{
  std::vector<uint8_t> bytes{18, 1, 0x00, 0x02, 0x00, 0, 0, 64, 0x52, 0x4F,
                             static_cast<uint8_t>(CEmulatedCompositeBoard::kProductId),
                             static_cast<uint8_t>(CEmulatedCompositeBoard::kProductId >> 8),
                             static_cast<uint8_t>(CEmulatedCompositeBoard::kVersion),
                             static_cast<uint8_t>(CEmulatedCompositeBoard::kVersion >> 8), 1, 2, 3, 1};
  const std::vector<uint8_t> hid{9, 4, kHidInterface, 0, 1, 0x03, 0, 0, 0, 9, 0x21, 0x11, 0x01, 0, 1, 0x22, 0x20, 0x00,
                                 7, 5, 0x81, 3, 0x40, 0x00, 4};
  const std::vector<uint8_t> vendor{9, 4, kVendorInterface, 0, 0, 0xFF, 0, 0, 0};
  const size_t total = 9 + hid.size() + vendor.size();
  bytes.insert(bytes.end(), {9, 2, static_cast<uint8_t>(total), static_cast<uint8_t>(total >> 8), 2, 1, 0, 0x80, 50});
  bytes.insert(bytes.end(), hid.begin(), hid.end());
  bytes.insert(bytes.end(), vendor.begin(), vendor.end());
  return bytes;
}

}  // namespace

CEmulatedCompositeBoard::CEmulatedCompositeBoard(CUmockdevBed& bed_I) : mNode("/dev/bus/usb/002/002")
{
  mDrivers[kHidInterface] = kHidDriver;
  const std::string pci = bed_I.Add("pci", "0000:00:1d.0", "", {"vendor", "0x8086", "device", "0x1e26"}, {});
  const std::string hub = AddUsbDevice(bed_I, {pci, "usb2", 1, 0x1D6B, 0x0002, 0x0602, 1, 0x09});
  bed_I.CreateNode(mNode, [this](CIoctlCall& call_IO) { HandleInterfaces(call_IO); });
  const std::string board = AddUsbDevice(bed_I, {hub, "2-1", 2, 0x4F52, kProductId, kVersion, 2, 0, "CMP1"});
  bed_I.SetBinary(board, "descriptors", CompositeDescriptors());
  bed_I.Add("usb", "2-1:1.0", board, {"bInterfaceNumber", "00", "bInterfaceClass", "03", "bNumEndpoints", "01"},
            {"DEVTYPE", "usb_interface", "INTERFACE", "3/0/0", "DRIVER", kHidDriver});
  bed_I.Add("usb", "2-1:1.1", board, {"bInterfaceNumber", "01", "bInterfaceClass", "ff", "bNumEndpoints", "00"},
            {"DEVTYPE", "usb_interface", "INTERFACE", "255/0/0"});
}

std::vector<std::string> CEmulatedCompositeBoard::Actions()
{
  std::lock_guard<std::mutex> lock(mLock);
  return mActions;
}

void CEmulatedCompositeBoard::HandleInterfaces(CIoctlCall& call_IO)
{
  const unsigned long request = call_IO.Request();
  int error = 0;
  if (request == USBDEVFS_CLAIMINTERFACE || request == USBDEVFS_RELEASEINTERFACE) {
    unsigned interface = 0;
    std::memcpy(&interface, call_IO.Memory(sizeof(interface)), sizeof(interface));
    error = request == USBDEVFS_CLAIMINTERFACE ? ClaimInterface(interface) : ReleaseInterface(interface);
  } else if (request == USBDEVFS_GETDRIVER) {
    auto* query = reinterpret_cast<usbdevfs_getdriver*>(call_IO.Memory(sizeof(usbdevfs_getdriver)));
    std::lock_guard<std::mutex> lock(mLock);
    const auto bound = mDrivers.find(query->interface);
    error = bound == mDrivers.end() ? ENODATA : 0;
    if (bound != mDrivers.end()) std::strncpy(query->driver, bound->second.c_str(), sizeof(query->driver) - 1);
  } else if (request == USBDEVFS_DISCONNECT_CLAIM) {
    auto* claim = reinterpret_cast<usbdevfs_disconnect_claim*>(call_IO.Memory(sizeof(usbdevfs_disconnect_claim)));
    const bool except = (claim->flags & USBDEVFS_DISCONNECT_CLAIM_EXCEPT_DRIVER) != 0;
    error = Disconnect(claim->interface, except ? claim->driver : nullptr);
    if (error == 0 || error == ENODATA) error = ClaimInterface(claim->interface);
  } else if (request == USBDEVFS_IOCTL) {
    auto* command = reinterpret_cast<usbdevfs_ioctl*>(call_IO.Memory(sizeof(usbdevfs_ioctl)));
    const unsigned interface = static_cast<unsigned>(command->ifno);
    const int code = command->ioctl_code;
    error = code == static_cast<int>(USBDEVFS_DISCONNECT) ? Disconnect(interface, nullptr)
            : code == static_cast<int>(USBDEVFS_CONNECT)  ? Connect(interface)
                                                          : ENOTTY;
  } else {
    return Handle(call_IO);
  }
  call_IO.Complete(error == 0 ? 0 : -1, error);
}

int CEmulatedCompositeBoard::ClaimInterface(unsigned interface_I)
{
  std::lock_guard<std::mutex> lock(mLock);
  if (interface_I > kVendorInterface) return ENOENT;
  const auto bound = mDrivers.find(interface_I);
  if (bound != mDrivers.end()) return bound->second == kUsbfs ? 0 : EBUSY;
  mDrivers[interface_I] = kUsbfs;
  mActions.push_back("claim " + std::to_string(interface_I));
  return 0;
}

int CEmulatedCompositeBoard::ReleaseInterface(unsigned interface_I)
{
  std::lock_guard<std::mutex> lock(mLock);
  const auto bound = mDrivers.find(interface_I);
  if (bound == mDrivers.end() || bound->second != kUsbfs) return EINVAL;
  mDrivers.erase(bound);
  mActions.push_back("release " + std::to_string(interface_I));
  return 0;
}

// Unbinds the interface's driver (unless it is except_I); ENODATA when none is bound.
int CEmulatedCompositeBoard::Disconnect(unsigned interface_I, const char* except_I)
{
  std::lock_guard<std::mutex> lock(mLock);
  if (interface_I > kVendorInterface) return EINVAL;
  const auto bound = mDrivers.find(interface_I);
  if (bound == mDrivers.end()) return ENODATA;
  if (except_I != nullptr && bound->second == except_I) return EBUSY;
  mDrivers.erase(bound);
  mActions.push_back("detach " + std::to_string(interface_I));
  return 0;
}

// Binds the driver that matches the interface again, when it has one and nothing holds the interface.
int CEmulatedCompositeBoard::Connect(unsigned interface_I)
{
  std::lock_guard<std::mutex> lock(mLock);
  if (interface_I != kHidInterface || mDrivers.count(interface_I) > 0) return 0;
  mDrivers[interface_I] = kHidDriver;
  mActions.push_back("attach " + std::to_string(interface_I));
  return 0;
}

int CEmulatedCompositeBoard::Control(const SUsbSetupPacket& setup_I, uint8_t* data_IO, int& actual_O)
{
  actual_O = 0;
  if ((setup_I.requestType & kTypeMask) != kVendorType || (setup_I.requestType & kRecipientMask) != kInterfaceRecipient) {
    return -EPIPE;
  }
  if (setup_I.index != kVendorInterface) {
    ++mMisaddressed;
    return -EPIPE;
  }
  // Ping (wValue 0) answers two bytes, and no more when asked for more (a short data stage); the loader
  // switch and the vendor command carry no data and take wValue 0xFFFF as their key.
  if (setup_I.requestType == 0xC1 && setup_I.request == 0x01 && setup_I.value == 0 && setup_I.length >= 2) {
    data_IO[0] = 0x01;
    data_IO[1] = 0x00;
    actual_O = 2;
    return 0;
  }
  const bool command = setup_I.request == 0xF0 || setup_I.request == 0xF5;
  return setup_I.requestType == 0x41 && command && setup_I.value == 0xFFFF && setup_I.length == 0 ? 0 : -EPIPE;
}

}  // namespace orv::test
