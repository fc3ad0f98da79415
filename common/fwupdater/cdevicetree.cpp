#include "common/fwupdater/cdevicetree.h"

#include <algorithm>

namespace orv {

std::string CDeviceTree::InstanceIdOfPath(const std::string& path_I)
{
  const size_t lastHash = path_I.rfind('#');
  const std::string prefix = lastHash == std::string::npos ? path_I : path_I.substr(0, lastHash);
  if (prefix.size() < 4) {
    return "";
  }
  std::string id = prefix.substr(4);
  std::replace(id.begin(), id.end(), '#', '\\');
  return id;
}

std::string GetParentDeviceIdOfPath(CDeviceTree& tree_I, const std::string& path_I, uint8_t levels_I)
{
  const std::string id = tree_I.InstanceIdOfPath(path_I);
  return id.empty() ? std::string() : tree_I.GetAncestorId(id, levels_I);
}

}  // namespace orv
