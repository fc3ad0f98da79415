#include "common/osd/displaymodels.h"

#include <algorithm>
#include <iterator>

#include "common/fwupdater/cdevice.h"
#include "common/osd/connector.h"

namespace orv {
namespace {

struct SEntry {
  uint16_t productId;
  SDisplayModel model;
};

constexpr SDisplayModel kNone{EEDIDREAD_NONE, false};
constexpr SDisplayModel kBlocks{EEDIDREAD_BLOCKS, false};
constexpr SDisplayModel kBlocksWarn{EEDIDREAD_BLOCKS, true};

// Our pen displays, by product id: the early 13" models have no EDID behind their scaler; the display families
// from 0x0210 on serve it in blocks, and the two 24" models answer the table read too.
constexpr SEntry kDisplays[] = {
    {0x0301, kNone},   {0x0302, kNone},   {0x0303, kNone},   {0x0210, kBlocks},     {0x0212, kBlocks},
    {0x0214, kBlocks}, {0x0216, kBlocks}, {0x0218, kBlocks}, {0x021A, kBlocks},     {0x021C, kBlocks},
    {0x021E, kBlocks}, {0x0220, kBlocks}, {0x0222, kBlocks}, {0x0224, kBlocks},     {0x0226, kBlocks},
    {0x0228, kBlocks}, {0x022A, kBlocks}, {0x022C, kBlocks}, {0x0240, kBlocksWarn}, {0x0242, kBlocksWarn},
};

}  // namespace

SDisplayModel DisplayModel(uint32_t deviceId_I)
{
  if (deviceId_I == kAnyDisplay) return kBlocks;
  if ((deviceId_I >> 16) != DefaultVendorId) return {};
  const auto found = std::find_if(std::begin(kDisplays), std::end(kDisplays),
                                  [&](const SEntry& entry_I) { return entry_I.productId == (deviceId_I & 0xFFFF); });
  return found == std::end(kDisplays) ? SDisplayModel{} : found->model;
}

}  // namespace orv
