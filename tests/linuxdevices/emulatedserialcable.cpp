#include "tests/linuxdevices/emulatedserialcable.h"

#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>

namespace orv::test {
namespace {

constexpr const char* kDriver = "ftdi_sio";
constexpr uint16_t kFtdiVendorId = 0x0403;
// The FT232R's SIO requests: reset, modem control, flow control, baud rate, data format, modem status,
// event and error characters, latency timer (set and get), bit mode, read pins.
constexpr uint8_t kLastSioRequest = 0x0C;

// The product string FTDI's chips come with.
const char* ProductName(uint16_t productId_I)
{
  switch (productId_I) {
    case 0x6010: return "Dual RS232-HS";
    case 0x6011: return "Quad RS232-HS";
    case 0x6014: return "Single RS232-HS";
    default: return "FT232R USB UART";
  }
}

}  // namespace

std::shared_ptr<CEmulatedSerialCable> CEmulatedSerialCable::Plug(CUmockdevBed& bed_I, const std::string& hubSyspath_I,
                                                                 const std::string& ports_I, unsigned address_I,
                                                                 uint16_t productId_I)
{
  auto cable = std::make_shared<CEmulatedSerialCable>();
  const std::string name = "1-" + ports_I;
  const std::string syspath =
      AddUsbDevice(bed_I, {hubSyspath_I, name, address_I, kFtdiVendorId, productId_I, 0x0600, 1, 0xFF, "A10K5XQZ", true,
                           12, {"manufacturer", "FTDI", "product", ProductName(productId_I)}});
  bed_I.CreateNode(UsbfsNode(1, address_I), [cable](CIoctlCall& call_IO) { cable->HandleIoctl(call_IO); });
  const std::string interface = bed_I.Add(
      "usb", name + ":1.0", syspath, {"bInterfaceNumber", "00", "bInterfaceClass", "ff", "bNumEndpoints", "02"},
      {"DEVTYPE", "usb_interface", "INTERFACE", "255/255/255", "DRIVER", kDriver});
  const char* root = std::getenv("UMOCKDEV_DIR");
  if (root == nullptr) throw std::runtime_error("no umockdev testbed");
  cable->mDriverDir = std::string(root) + "/sys/bus/usb/drivers/" + kDriver;
  std::filesystem::create_directories(cable->mDriverDir);
  cable->mDriverLink = root + interface + "/driver";
  cable->Bind();
  const std::string tty = "ttyUSB" + std::to_string(address_I);
  const std::string port = bed_I.Add("usb-serial", tty, interface, {"port_number", "0"}, {"DRIVER", kDriver});
  bed_I.Add("tty", tty, port, {"dev", "188:" + std::to_string(address_I)}, {"DEVNAME", "/dev/" + tty});
  return cable;
}

bool CEmulatedSerialCable::DriverBound() const
{
  std::error_code error;
  return std::filesystem::is_symlink(mDriverLink, error);
}

void CEmulatedSerialCable::HandleIoctl(CIoctlCall& call_IO)
{
  ++mIoctls;
  const int error = DriverIoctl(call_IO);
  if (error < 0) return Handle(call_IO);
  call_IO.Complete(error == 0 ? 0 : -1, error);
}

int CEmulatedSerialCable::DriverIoctl(CIoctlCall& call_IO)
{
  if (call_IO.Request() == USBDEVFS_GETDRIVER) {
    if (!DriverBound()) return ENODATA;
    auto* query = reinterpret_cast<usbdevfs_getdriver*>(call_IO.Memory(sizeof(usbdevfs_getdriver)));
    std::strncpy(query->driver, kDriver, sizeof(query->driver) - 1);
    return 0;
  }
  if (call_IO.Request() != USBDEVFS_IOCTL) return -1;
  const int code = reinterpret_cast<const usbdevfs_ioctl*>(call_IO.Memory(sizeof(usbdevfs_ioctl)))->ioctl_code;
  if (code == USBDEVFS_DISCONNECT && DriverBound()) {
    std::filesystem::remove(mDriverLink);
    return 0;
  }
  if (code == USBDEVFS_CONNECT) {
    Bind();
    return 0;
  }
  return DriverBound() ? ENOTTY : ENODATA;
}

void CEmulatedSerialCable::Bind()
{
  std::error_code error;
  if (!DriverBound()) std::filesystem::create_directory_symlink(mDriverDir, mDriverLink, error);
}

int CEmulatedSerialCable::Control(const SUsbSetupPacket& setup_I, uint8_t* data_IO, int& actual_O)
{
  actual_O = 0;
  if ((setup_I.requestType & 0x60) != 0x40 || setup_I.request > kLastSioRequest) return -EPIPE;
  if (setup_I.requestType & 0x80) {
    std::memset(data_IO, 0, setup_I.length);
    actual_O = setup_I.length;
  }
  return 0;
}

}  // namespace orv::test
