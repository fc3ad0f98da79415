#include "win/fwupdater/cwindevicetree.h"

#include <array>
#include <cstring>

namespace orv {
namespace {

// The configuration manager's longest instance id (MAX_DEVICE_ID_LEN) and its terminating zero.
constexpr ULONG kIdBufferLength = 201;

}  // namespace

std::string CWinDeviceTree::GetAncestorId(const std::string& instanceId_I, uint8_t levels_I)
{
  std::string id = instanceId_I;
  DEVINST node = 0;
  if (mCalls->CM_Locate_DevNodeA(&node, id.data(), 0) != CR_SUCCESS) return "";
  // A root has no parent: stepping above it stays there.
  for (uint8_t level = 0; level < levels_I; ++level) {
    DEVINST parent = 0;
    if (mCalls->CM_Get_Parent(&parent, node, 0) != CR_SUCCESS) break;
    node = parent;
  }
  std::array<char, kIdBufferLength> buffer{};
  // A cut-off id would name another node.
  if (mCalls->CM_Get_Device_IDA(node, buffer.data(), kIdBufferLength, 0) != CR_SUCCESS) return "";
  return std::string(buffer.data(), strnlen(buffer.data(), buffer.size()));
}

}  // namespace orv
