// Bulk boards through libusb-1.0: a usbfs node path opens that USB device; the device descriptor and the
// vendor control transfers are libusb's. Each open device has a libusb context of its own, which lists the
// devices present at that moment. The board's vendor-class interface is claimed while it is open, and the
// requests addressed to an interface go to that one, as WinUSB sends them for the function it drives: a
// composite board keeps its other interfaces (its HID interface) with their drivers.
#pragma once

#include <libusb.h>

#include <memory>
#include <string>

#include "common/fwupdater/cusbsystem.h"
#include "linux/common/clinuxpermissions.h"

namespace orv {

class CLinuxUsbDevice : public CUsbDevice {
 public:
  static constexpr unsigned kTimeoutMs = 5000;

  // Takes over the open handle and its context; interface_I is the vendor interface, claimed or not.
  CLinuxUsbDevice(libusb_context* context_I, libusb_device_handle* handle_I, uint8_t interface_I, bool claimed_I);
  ~CLinuxUsbDevice() override;
  CLinuxUsbDevice(const CLinuxUsbDevice&) = delete;
  CLinuxUsbDevice& operator=(const CLinuxUsbDevice&) = delete;

  bool GetDeviceDescriptor(std::vector<uint8_t>& descriptor_O) override;
  bool ControlTransfer(const SUsbSetupPacket& setup_I, std::vector<uint8_t>& data_IO) override;

 private:
  libusb_context* mContext;
  libusb_device_handle* mHandle;
  uint8_t mInterface;
  bool mClaimed;
};

class CLinuxUsbSystem : public CUsbSystem {
 public:
  explicit CLinuxUsbSystem(std::shared_ptr<CLinuxAccessLog> accessLog_I) : mAccessLog(std::move(accessLog_I)) {}

  std::unique_ptr<CUsbDevice> Open(const std::string& path_I) override;
  std::string GetAncestorId(const std::string& instanceId_I, uint8_t levels_I) override;
  std::string InstanceIdOfPath(const std::string& path_I) override;

 private:
  std::shared_ptr<CLinuxAccessLog> mAccessLog;
};

}  // namespace orv
