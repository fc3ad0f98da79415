#include "sim/csimhidsystem.h"

#include <algorithm>
#include <cstdio>

#include "common/stringutilities.h"

namespace orv::sim {
namespace {

// Length of the "\\?\" that starts a device interface path.
constexpr size_t kPathPrefix = 4;
// The interface class GUID under which HID collections are enumerated.
constexpr const char* kHidInterfaceClass = "{4d1e55b2-f16f-11cf-88cb-001111000030}";

}  // namespace

std::string MakeSimHidPath(uint16_t vendorId_I, uint16_t productId_I, uint8_t interface_I, uint32_t instance_I)
{
  char path[128];
  std::snprintf(path, sizeof(path), "\\\\?\\HID#VID_%04X&PID_%04X&MI_%02X#7&%08x&0&0000#%s", vendorId_I, productId_I,
                interface_I, static_cast<unsigned>(instance_I), kHidInterfaceClass);
  return path;
}

std::string SimInstanceIdOfPath(const std::string& path_I)
{
  std::string id = path_I.substr(0, path_I.rfind('#'));
  if (id.size() < kPathPrefix) return {};
  id.erase(0, kPathPrefix);
  std::replace(id.begin(), id.end(), '#', '\\');
  return id;
}

void CSimHidSystem::AddBoard(const std::shared_ptr<CSimHidBoard>& board_I)
{
  std::lock_guard<std::mutex> lock(mLock);
  mBoards.push_back(board_I);
  const SSimHidBoardConfig& config = board_I->Config();
  AddNodeLocked(SimInstanceIdOfPath(config.normal.path), config.normal.parentId);
  if (config.reenumerate) AddNodeLocked(SimInstanceIdOfPath(config.loader.path), config.loader.parentId);
}

void CSimHidSystem::AddNode(const std::string& instanceId_I, const std::string& parentId_I)
{
  std::lock_guard<std::mutex> lock(mLock);
  AddNodeLocked(instanceId_I, parentId_I);
}

void CSimHidSystem::AddNodeLocked(const std::string& instanceId_I, const std::string& parentId_I)
{
  if (instanceId_I.empty()) return;
  const std::string parentKey = ToLower(parentId_I);
  if (!parentKey.empty()) mNodes.try_emplace(parentKey, SNode{parentId_I, {}});
  SNode& node = mNodes.try_emplace(ToLower(instanceId_I), SNode{instanceId_I, {}}).first->second;
  node.parentKey = parentKey;
}

std::vector<std::string> CSimHidSystem::PresentPaths()
{
  std::lock_guard<std::mutex> lock(mLock);
  std::vector<std::string> paths;
  for (const std::shared_ptr<CSimHidBoard>& board : mBoards) {
    if (board->IsPresent()) paths.push_back(board->Path());
  }
  return paths;
}

std::unique_ptr<CHidDevice> CSimHidSystem::Open(const std::string& path_I)
{
  std::lock_guard<std::mutex> lock(mLock);
  for (const std::shared_ptr<CSimHidBoard>& board : mBoards) {
    if (std::unique_ptr<CHidDevice> device = board->Open(path_I)) return device;
  }
  return nullptr;
}

std::string CSimHidSystem::GetAncestorId(const std::string& instanceId_I, uint8_t levels_I)
{
  std::lock_guard<std::mutex> lock(mLock);
  auto node = mNodes.find(ToLower(instanceId_I));
  if (node == mNodes.end()) return {};
  for (uint8_t level = 0; level < levels_I && !node->second.parentKey.empty(); ++level) {
    node = mNodes.find(node->second.parentKey);
  }
  return node->second.id;
}

}  // namespace orv::sim
