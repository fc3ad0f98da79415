#include "tests/linuxdevices/emulatedbluetooth.h"

#include <linux/hidraw.h>
#include <linux/input.h>

#include <cerrno>
#include <cstring>

#include "tests/linuxdevices/emulateddevices.h"
#include "tests/linuxdevices/emulatedfirmware.h"

namespace orv::test {
namespace {

constexpr uint16_t kVendorId = 0x4F52;
constexpr uint16_t kDongleVersion = 0x0002;

std::string Hex4(unsigned value_I) { return Format("%04x", value_I & 0xFFFF); }

void Answer(const std::vector<uint8_t>& descriptor_I, CIoctlCall& call_IO)
{
  if (call_IO.Request() == HIDIOCGRAWINFO) {
    const hidraw_devinfo info{BUS_BLUETOOTH, static_cast<int16_t>(kVendorId),
                              static_cast<int16_t>(CEmulatedBluetoothBoard::kProductId)};
    std::memcpy(call_IO.Memory(sizeof(info)), &info, sizeof(info));
    return call_IO.Complete(0);
  }
  if (!AnswerDescriptorIoctl(descriptor_I, call_IO)) call_IO.Complete(-1, EPIPE);
}

}  // namespace

CEmulatedBluetoothBoard::CEmulatedBluetoothBoard(CUmockdevBed& bed_I, CEmulatedUdev& udev_I, uint16_t version_I)
{
  const std::string pci = bed_I.Add("pci", "0000:00:1a.0", "", {"vendor", "0x8086", "device", "0x1e2d"}, {});
  const std::string hub = bed_I.Add("usb", "usb3", pci, {"idVendor", "1d6b", "idProduct", "0002", "bcdDevice", "0602"},
                                    {"DEVTYPE", "usb_device"});
  const std::string dongle =
      bed_I.Add("usb", "3-1", hub, {"idVendor", "8087", "idProduct", "0026", "bcdDevice", Hex4(kDongleVersion)},
                {"DEVTYPE", "usb_device"});
  const std::string adapter = bed_I.Add("usb", "3-1:1.0", dongle, {"bInterfaceNumber", "00", "bInterfaceClass", "e0"},
                                        {"DEVTYPE", "usb_interface", "DRIVER", "btusb"});
  const std::string host = bed_I.Add("bluetooth", "hci0", adapter, {}, {"DEVTYPE", "host"});
  const std::string link = bed_I.Add("bluetooth", "hci0:256", host, {}, {"DEVTYPE", "link"});
  const std::string ids = Hex4(kVendorId) + ":" + Hex4(kProductId);
  const std::string hid = bed_I.Add("hid", "0005:" + ids + ".0007", link, {},
                                    {"HID_ID", "0005:0000" + Hex4(kVendorId) + ":0000" + Hex4(kProductId), "HID_NAME",
                                     "Orvel Remote"});
  // The board's normal-mode Ping, at the fixed size its firmware gives the normal-mode reports.
  const std::vector<uint8_t> descriptor = FirmwareDescriptor({{SHidCaps{3, 0xFF0D}, {{0x02, 65, 2, 2}}}});
  bed_I.SetBinary(hid, "report_descriptor", descriptor);
  bed_I.Add("input", "input7", hid,
            {"id/bustype", "0005", "id/vendor", Hex4(kVendorId), "id/product", Hex4(kProductId), "id/version",
             Hex4(version_I), "name", "Orvel Remote"},
            {"PRODUCT", "5/4f52/211/" + Hex4(version_I)});
  mHidraw = udev_I.AddUnfinished("hidraw", "hidraw7", hid, kNode, 241, 7,
                                 [descriptor](CIoctlCall& call_IO) { Answer(descriptor, call_IO); }, {});
}

}  // namespace orv::test
