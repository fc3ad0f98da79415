// USB device interfaces through WinUSB: the bulk boards' device descriptor and vendor control requests.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "common/fwupdater/cusbsystem.h"
#include "win/fwupdater/cwindevicetree.h"
#include "win/fwupdater/cwinsystemcalls.h"

namespace orv {

class CWinUsbDevice : public CUsbDevice {
 public:
  CWinUsbDevice(std::shared_ptr<CWinUsbCalls> calls_I, HANDLE file_I, WINUSB_INTERFACE_HANDLE usb_I);
  ~CWinUsbDevice() override;
  CWinUsbDevice(const CWinUsbDevice&) = delete;
  CWinUsbDevice& operator=(const CWinUsbDevice&) = delete;

  bool GetDeviceDescriptor(std::vector<uint8_t>& descriptor_O) override;
  bool ControlTransfer(const SUsbSetupPacket& setup_I, std::vector<uint8_t>& data_IO) override;

 private:
  std::shared_ptr<CWinUsbCalls> mCalls;
  HANDLE mFile;
  WINUSB_INTERFACE_HANDLE mUsb;
};

class CWinUsbSystem : public CUsbSystem {
 public:
  CWinUsbSystem(std::shared_ptr<CWinUsbCalls> usb_I, std::shared_ptr<CWinConfigManagerCalls> configManager_I)
      : mCalls(std::move(usb_I)), mTree(std::move(configManager_I))
  {
  }

  std::unique_ptr<CUsbDevice> Open(const std::string& path_I) override;
  std::string GetAncestorId(const std::string& instanceId_I, uint8_t levels_I) override
  {
    return mTree.GetAncestorId(instanceId_I, levels_I);
  }

 private:
  std::shared_ptr<CWinUsbCalls> mCalls;
  CWinDeviceTree mTree;
};

}  // namespace orv
