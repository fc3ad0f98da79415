// A board that shows up in normal mode as a USB device of the bulk class. The system only identifies it and
// sends it into its boot loader with a vendor control request; it comes back as a HID loader. Every transfer
// is refused while the interface is marked as a loader.
#pragma once

#include <memory>

#include "common/fwupdater/cfldeviceinterface.h"
#include "common/fwupdater/cusbsystem.h"

namespace orv {

class CBulkFLDeviceInterface : public CFLDeviceInterface {
 public:
  CBulkFLDeviceInterface(std::string path_I, std::shared_ptr<CUsbSystem> system_I);
  ~CBulkFLDeviceInterface() override { CBulkFLDeviceInterface::Close(); }

  bool Open() override;
  void Close() override;
  bool QueryAttributes() override;
  std::string GetParentDeviceId(uint8_t levels_I) override;
  bool SwitchToBLMode() override;
  // There is no way back from the loader over this interface.
  bool SwitchFromBLMode(bool save_I) override;
  bool Ping() override;
  bool SendVendorCommand() override;
  // A five-byte description d maps onto one control transfer: type d[0], request d[1], value d[3],
  // index d[2], length d[4].
  bool WriteReport(Report& buffer_IO) override;
  bool ReadReport(Report& buffer_IO) override;

  bool WriteRawReport(const SUsbSetupPacket& setup_I);
  bool ReadRawReport(const SUsbSetupPacket& setup_I);

 private:
  bool ControlTransfer(const SUsbSetupPacket& setup_I);

  std::shared_ptr<CUsbSystem> mSystem;
  std::unique_ptr<CUsbDevice> mDevice;
};

}  // namespace orv
