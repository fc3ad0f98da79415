#include "linux/common/clinuxplatform.h"

#include "linux/common/clinuxd2xxlibrary.h"
#include "linux/common/clinuxdeviceevents.h"
#include "linux/common/clinuxhidsystem.h"
#include "linux/common/clinuxudev.h"
#include "linux/common/clinuxusbsystem.h"

namespace orv {

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
  auto recorder = std::make_shared<CTransferRecorder>();
  if (!recorder->Open(file_I)) {
    error_O = "cannot write the recording " + file_I;
    return false;
  }
  mRecorder = recorder;
  mHid = RecordingHidSystem(mHid, recorder);
  mUsb = RecordingUsbSystem(mUsb, recorder);
  mEnumerator = RecordingEnumerator(mEnumerator, recorder);
  mRecordingD2XX = RecordingD2XX(*mD2XX, recorder);
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

std::vector<std::string> CLinuxPlatform::PermissionProblems() const
{
  std::vector<std::string> lines;
  for (const std::string& node : mAccessLog->RefusedNodes()) lines.push_back(PermissionAdvice(node, NodeIdentity(node)));
  return lines;
}

}  // namespace orv
