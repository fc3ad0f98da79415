// Discovery on Windows: the engine's grouping over the HID class driver, WinUSB, the configuration manager's
// device tree and SetupAPI's enumeration.
#pragma once

#include <memory>
#include <string>

#include "common/fwupdater/cdiscovery.h"
#include "common/fwupdater/ctransferrecorder.h"
#include "win/fwupdater/cwinsystemcalls.h"

namespace orv {

class CWinDiscovery : public CDiscovery {
 public:
  // Works through the system's DLLs.
  explicit CWinDiscovery(std::string configFile_I = "./fw_loader.ini", std::shared_ptr<CTransferRecorder> recorder_I = nullptr);
  // recorder_I, when given, also receives every call made through the tables, in the recording format that
  // -simulate replays.
  CWinDiscovery(const SWinDeviceCalls& calls_I, std::string configFile_I,
                std::shared_ptr<CTransferRecorder> recorder_I = nullptr);
};

}  // namespace orv
