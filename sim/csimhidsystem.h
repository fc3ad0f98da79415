// The HID side of the simulated bus for tests that only need HID boards: it keeps the bus it adds boards to.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/fwupdater/chidsystem.h"
#include "sim/csimbus.h"
#include "sim/csimhidboard.h"

namespace orv::sim {

class CSimHidSystem : public CHidSystem {
 public:
  CSimHidSystem() : mBus(std::make_shared<CSimBus>()) {}

  // Puts the board on the bus and the nodes of its two identities into the device tree.
  void AddBoard(const std::shared_ptr<CSimHidBoard>& board_I) { mBus->Attach(board_I); }
  // Adds a node, or moves it under another parent; an empty parent makes it a root.
  void AddNode(const std::string& instanceId_I, const std::string& parentId_I)
  {
    mBus->AddNode(instanceId_I, parentId_I);
  }
  std::vector<std::string> PresentPaths() { return mBus->EnumerateInterfacePaths(EDEVICECLASS_HID); }
  // The whole bus, for its events and its other devices.
  const std::shared_ptr<CSimBus>& Bus() const { return mBus; }

  std::unique_ptr<CHidDevice> Open(const std::string& path_I) override { return mBus->OpenHid(path_I); }
  std::string GetAncestorId(const std::string& instanceId_I, uint8_t levels_I) override
  {
    return mBus->GetAncestorId(instanceId_I, levels_I);
  }

 private:
  std::shared_ptr<CSimBus> mBus;
};

}  // namespace orv::sim
