#include "common/fwupdater/chidcollectioninterface.h"

namespace orv {

CHidCollectionInterface::CHidCollectionInterface(std::string path_I, int32_t interfaceType_I,
                                                 std::shared_ptr<CHidSystem> system_I)
    : CFLDeviceInterface(std::move(path_I), interfaceType_I), mConnection(std::move(system_I))
{
}

bool CHidCollectionInterface::Open()
{
  if (Ping()) return true;
  Close();
  mOpen = mConnection.Open(mPath);
  return mOpen;
}

void CHidCollectionInterface::Close()
{
  mConnection.Close();
  mOpen = false;
}

bool CHidCollectionInterface::QueryAttributes()
{
  if (!Open()) return false;
  SHidAttributes attributes;
  if (!mConnection.GetAttributes(attributes)) {
    Close();
    return false;
  }
  mVendorId = attributes.vendorId;
  mProductId = attributes.productId;
  mVersion = attributes.version;
  SHidCaps caps;
  const bool result = mConnection.GetCaps(caps);
  if (result) {
    mUsage = caps.usage;
    mUsagePage = caps.usagePage;
  }
  Close();
  return result;
}

std::string CHidCollectionInterface::GetParentDeviceId(uint8_t levels_I)
{
  return mConnection.GetParentDeviceId(mPath, levels_I);
}

}  // namespace orv
