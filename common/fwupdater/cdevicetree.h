// The operating system's tree of device nodes, as the discovery walks it to tell which interfaces belong to
// one product.
#pragma once

#include <cstdint>
#include <string>

namespace orv {

class CDeviceTree {
 public:
  virtual ~CDeviceTree() = default;
  // The instance id of the device node `levels_I` steps above the node with the given instance id (0: the
  // node itself; stepping above a root stays at the root). Empty when the node cannot be located.
  virtual std::string GetAncestorId(const std::string& instanceId_I, uint8_t levels_I) = 0;
  // The instance id of the device node behind a device interface path; empty when the path names no node.
  // By default the Windows form: the path up to its last '#', without the four-character "\\?\" prefix,
  // every '#' turned into '\'. A path too short to carry the prefix names no node.
  virtual std::string InstanceIdOfPath(const std::string& path_I);
};

// The ancestor of the device node behind a device interface path; empty when there is none.
std::string GetParentDeviceIdOfPath(CDeviceTree& tree_I, const std::string& path_I, uint8_t levels_I);

}  // namespace orv
