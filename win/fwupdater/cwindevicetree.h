// The configuration manager's tree of device nodes, as the discovery walks it to pair interfaces.
#pragma once

#include <memory>
#include <string>

#include "common/fwupdater/cdevicetree.h"
#include "win/fwupdater/cwinsystemcalls.h"

namespace orv {

class CWinDeviceTree : public CDeviceTree {
 public:
  explicit CWinDeviceTree(std::shared_ptr<CWinConfigManagerCalls> calls_I) : mCalls(std::move(calls_I)) {}

  std::string GetAncestorId(const std::string& instanceId_I, uint8_t levels_I) override;

 private:
  std::shared_ptr<CWinConfigManagerCalls> mCalls;
};

}  // namespace orv
