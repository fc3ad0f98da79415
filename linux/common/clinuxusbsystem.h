// Bulk boards through libusb-1.0: a usbfs node path opens that USB device; the device descriptor and the
// vendor control transfers are libusb's.
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

  // Takes over the open handle.
  CLinuxUsbDevice(libusb_device_handle* handle_I, bool claimed_I);
  ~CLinuxUsbDevice() override;
  CLinuxUsbDevice(const CLinuxUsbDevice&) = delete;
  CLinuxUsbDevice& operator=(const CLinuxUsbDevice&) = delete;

  bool GetDeviceDescriptor(std::vector<uint8_t>& descriptor_O) override;
  bool ControlTransfer(const SUsbSetupPacket& setup_I, std::vector<uint8_t>& data_IO) override;

 private:
  libusb_device_handle* mHandle;
  bool mClaimed;
};

class CLinuxUsbSystem : public CUsbSystem {
 public:
  explicit CLinuxUsbSystem(std::shared_ptr<CLinuxAccessLog> accessLog_I);
  ~CLinuxUsbSystem() override;
  CLinuxUsbSystem(const CLinuxUsbSystem&) = delete;
  CLinuxUsbSystem& operator=(const CLinuxUsbSystem&) = delete;

  std::unique_ptr<CUsbDevice> Open(const std::string& path_I) override;
  std::string GetAncestorId(const std::string& instanceId_I, uint8_t levels_I) override;
  std::string InstanceIdOfPath(const std::string& path_I) override;

 private:
  libusb_device* FindDevice(libusb_device** list_I, const std::string& path_I) const;

  std::shared_ptr<CLinuxAccessLog> mAccessLog;
  libusb_context* mContext = nullptr;
};

}  // namespace orv
