// A board that speaks the flash-loader protocol in HID feature reports, reached through the platform's HID
// system.
#pragma once

#include <memory>

#include "common/fwupdater/cfldeviceinterface.h"
#include "common/fwupdater/chidconnection.h"

namespace orv {

class CHIDFLDeviceInterface : public CFLDeviceInterface {
 public:
  CHIDFLDeviceInterface(std::string path_I, std::shared_ptr<CHidSystem> system_I);
  ~CHIDFLDeviceInterface() override { Close(); }

  // Keeps a handle that still answers a ping; otherwise opens the path anew.
  bool Open() override;
  void Close() override;
  bool QueryAttributes() override;
  std::string GetParentDeviceId(uint8_t levels_I) override;
  bool SwitchToBLMode() override;
  bool SwitchFromBLMode(bool save_I) override;
  bool Ping() override;
  bool SendVendorCommand() override;
  bool WriteReport(Report& buffer_IO) override;
  bool ReadReport(Report& buffer_IO) override;

 private:
  CHidConnection mConnection;
};

}  // namespace orv
