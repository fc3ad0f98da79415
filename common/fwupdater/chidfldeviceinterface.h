// A board that speaks the flash-loader protocol in HID feature reports.
#pragma once

#include "common/fwupdater/chidcollectioninterface.h"

namespace orv {

class CHIDFLDeviceInterface : public CHidCollectionInterface {
 public:
  CHIDFLDeviceInterface(std::string path_I, std::shared_ptr<CHidSystem> system_I);

  bool SwitchToBLMode() override;
  bool SwitchFromBLMode(bool save_I) override;
  bool Ping() override;
  bool SendVendorCommand() override;
  bool WriteReport(Report& buffer_IO) override { return SetFeature(buffer_IO); }
  bool ReadReport(Report& buffer_IO) override { return GetFeature(buffer_IO); }
};

}  // namespace orv
