// Discovery on Windows: the engine's grouping over the HID class driver, WinUSB, the configuration manager's
// device tree and SetupAPI's enumeration.
#pragma once

#include <string>

#include "common/fwupdater/cdiscovery.h"
#include "win/fwupdater/cwinsystemcalls.h"

namespace orv {

class CWinDiscovery : public CDiscovery {
 public:
  // Works through the system's DLLs.
  explicit CWinDiscovery(std::string configFile_I = "./fw_loader.ini");
  CWinDiscovery(const SWinDeviceCalls& calls_I, std::string configFile_I);
};

}  // namespace orv
