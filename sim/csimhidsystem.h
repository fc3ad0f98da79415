// The simulated HID bus: the boards present on it, opened by their device interface paths, and the device
// tree the discovery walks to pair interfaces of one product.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "common/fwupdater/chidsystem.h"
#include "sim/csimhidboard.h"

namespace orv::sim {

// A HID device interface path in Windows form, e.g. for (0x4F52, 0x0101, 0, 0x2a1b3c4d):
// \\?\HID#VID_4F52&PID_0101&MI_00#7&2a1b3c4d&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}
std::string MakeSimHidPath(uint16_t vendorId_I, uint16_t productId_I, uint8_t interface_I, uint32_t instance_I);

// The device instance id of a path: the path up to its last '#' (all of it when it has none), without its
// first four characters, every '#' turned into '\'. Empty for a path shorter than four characters.
std::string SimInstanceIdOfPath(const std::string& path_I);

class CSimHidSystem : public CHidSystem {
 public:
  // Puts the board on the bus and the nodes of its two identities into the device tree.
  void AddBoard(const std::shared_ptr<CSimHidBoard>& board_I);
  // Adds a node, or moves it under another parent; an empty parent makes it a root. A parent not yet known
  // becomes a root node.
  void AddNode(const std::string& instanceId_I, const std::string& parentId_I);
  std::vector<std::string> PresentPaths();

  std::unique_ptr<CHidDevice> Open(const std::string& path_I) override;
  std::string GetAncestorId(const std::string& instanceId_I, uint8_t levels_I) override;

 private:
  struct SNode {
    // As first given; ids are matched without regard to letter case.
    std::string id;
    // Key of the parent node; empty for a root.
    std::string parentKey;
  };

  void AddNodeLocked(const std::string& instanceId_I, const std::string& parentId_I);

  std::mutex mLock;
  std::vector<std::shared_ptr<CSimHidBoard>> mBoards;
  std::map<std::string, SNode> mNodes;
};

}  // namespace orv::sim
