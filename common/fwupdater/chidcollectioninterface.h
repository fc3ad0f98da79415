// A board interface reached through one HID collection: opening (a handle that still answers a ping is
// kept), identity and usage, and the ancestor ids of its device node. The HID board and the I2C tunnel
// differ only in what they send through it.
#pragma once

#include <memory>
#include <string>

#include "common/fwupdater/cfldeviceinterface.h"
#include "common/fwupdater/chidconnection.h"

namespace orv {

class CHidCollectionInterface : public CFLDeviceInterface {
 public:
  CHidCollectionInterface(std::string path_I, int32_t interfaceType_I, std::shared_ptr<CHidSystem> system_I);
  ~CHidCollectionInterface() override { CHidCollectionInterface::Close(); }

  bool Open() override;
  void Close() override;
  bool QueryAttributes() override;
  std::string GetParentDeviceId(uint8_t levels_I) override;

 protected:
  // One feature transfer of the collection (wrapped when it sits behind a HID router).
  bool SetFeature(Report& buffer_IO) { return mConnection.SetFeature(buffer_IO, GetUsagePage()); }
  bool GetFeature(Report& buffer_IO) { return mConnection.GetFeature(buffer_IO, GetUsagePage()); }

 private:
  CHidConnection mConnection;
};

}  // namespace orv
