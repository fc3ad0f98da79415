// A pen display's scaler board as a scenario describes it: the FTDI bridge with, on its I2C bus, the display's
// DDC/CI side and the scaler's ISP slave over its serial flash.
#pragma once

#include <memory>
#include <string>

#include "sim/csimddcdisplay.h"
#include "sim/csimftdibridge.h"
#include "sim/csimscalerisp.h"

namespace orv {
class CSettingsMap;
}

namespace orv::sim {

struct SSimScalerBoard {
  std::shared_ptr<CSimFtdiBridge> bridge;
  std::shared_ptr<CSimDdcDisplay> display;
  std::shared_ptr<CSimScalerIsp> isp;

  // From a scenario's "scaler" entry; empty, with the reason, when it cannot be built.
  static std::shared_ptr<SSimScalerBoard> Create(const CSettingsMap& device_I, std::string& error_O);
};

}  // namespace orv::sim
