#include "linux/common/clinuxplatform.h"

#include <cstdio>

#include "common/fwupdater/cdevice.h"

#include "linux/common/clinuxd2xxlibrary.h"
#include "linux/common/clinuxdeviceevents.h"
#include "linux/common/clinuxhidsystem.h"
#include "linux/common/clinuxudev.h"
#include "linux/common/clinuxusbsystem.h"

namespace orv {
namespace {

constexpr unsigned kFtdiVendorId = 0x0403;

bool DescribesBoard(const PrototypeMap& prototypes_I, unsigned vendor_I, unsigned product_I)
{
  for (const auto& [key, prototype] : prototypes_I) {
    for (size_t board = 0; board < prototype.mVendorId.size(); ++board) {
      if (prototype.mVendorId[board] == vendor_I && prototype.mProductId[board] == product_I) return true;
    }
  }
  return false;
}

}  // namespace

CLinuxPlatform::CLinuxPlatform()
    : mAccessLog(std::make_shared<CLinuxAccessLog>()),
      mHid(std::make_shared<CLinuxHidSystem>(mAccessLog)),
      mUsb(std::make_shared<CLinuxUsbSystem>(mAccessLog)),
      mEnumerator(std::make_shared<CLinuxDeviceEnumerator>()),
      mD2XX(CreateLinuxD2XX(mAccessLog))
{
}

bool CLinuxPlatform::Record(const std::string& file_I, std::string& error_O)
{
  mRecorder = OpenRecording(file_I, error_O);
  if (!mRecorder) return false;
  mHid = RecordingHidSystem(mHid, mRecorder);
  mUsb = RecordingUsbSystem(mUsb, mRecorder);
  mEnumerator = RecordingEnumerator(mEnumerator, mRecorder);
  mRecordingD2XX = RecordingD2XX(*mD2XX, mRecorder);
  return true;
}

std::unique_ptr<CDiscovery> CLinuxPlatform::CreateDiscovery(const std::string& configFile_I) const
{
  return std::make_unique<CLinuxDiscovery>(mHid, mUsb, mEnumerator, configFile_I);
}

std::shared_ptr<CDeviceEventSource> CLinuxPlatform::CreateEvents() const
{
  std::shared_ptr<CDeviceEventSource> events = std::make_shared<CLinuxDeviceEvents>();
  return mRecorder ? RecordingEvents(events, mRecorder) : events;
}

std::vector<std::string> CLinuxPlatform::PermissionProblems(const PrototypeMap& prototypes_I) const
{
  std::vector<std::string> lines;
  for (const std::string& node : mAccessLog->RefusedNodes()) {
    const std::string identity = NodeIdentity(node);
    unsigned vendor = 0, product = 0;
    if (std::sscanf(identity.c_str(), "%4x:%4x", &vendor, &product) != 2) continue;
    if (vendor == DefaultVendorId || vendor == kFtdiVendorId || DescribesBoard(prototypes_I, vendor, product)) {
      lines.push_back(PermissionAdvice(node, identity));
    }
  }
  return lines;
}

}  // namespace orv
