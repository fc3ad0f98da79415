// The Linux machine as the application sees it: its HID collections (hidraw), bulk boards (libusb) and FTDI
// bridges (libftd2xx or libftdi1), their arrivals and removals (udev), the nodes it was refused, and, when
// asked, a recording of everything the run does with them.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "common/fwupdater/cdeviceevents.h"
#include "common/fwupdater/cdiscovery.h"
#include "common/fwupdater/ctopologyreader.h"
#include "common/fwupdater/ctransferrecorder.h"
#include "common/osd/cd2xx.h"
#include "linux/common/clinuxpermissions.h"

namespace orv {

class CLinuxDiscovery : public CDiscovery {
 public:
  using CDiscovery::CDiscovery;
};

class CLinuxPlatform {
 public:
  CLinuxPlatform();

  // From now on every transfer also goes to the file; false, with the reason, when it cannot be written.
  bool Record(const std::string& file_I, std::string& error_O);
  // Whether the recording (if any) reached its file whole.
  bool RecordingGood() const { return !mRecorder || mRecorder->Good(); }

  std::unique_ptr<CDiscovery> CreateDiscovery(const std::string& configFile_I) const;
  // Listens for arrivals and removals from the moment it is made.
  std::shared_ptr<CDeviceEventSource> CreateEvents() const;
  CD2XX& D2XX() const { return mRecordingD2XX ? *mRecordingD2XX : *mD2XX; }
  // One line for each node of ours the run was refused, naming it and the udev rules: nodes of the maker's
  // vendor id, of a board the topology describes, or of an FTDI bridge. Other devices' nodes are not ours to
  // open.
  std::vector<std::string> PermissionProblems(const PrototypeMap& prototypes_I) const;

 private:
  std::shared_ptr<CLinuxAccessLog> mAccessLog;
  std::shared_ptr<CHidSystem> mHid;
  std::shared_ptr<CUsbSystem> mUsb;
  std::shared_ptr<CDeviceEnumerator> mEnumerator;
  std::unique_ptr<CD2XX> mD2XX;
  std::shared_ptr<CTransferRecorder> mRecorder;
  std::unique_ptr<CD2XX> mRecordingD2XX;
};

}  // namespace orv
