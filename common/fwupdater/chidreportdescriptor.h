// The top-level collections a HID report descriptor declares, with their usage page and usage: what the
// system identifies a HID collection by. Platforms whose HID stack hands out the raw descriptor use it.
#pragma once

#include <cstdint>
#include <vector>

#include "common/fwupdater/chidsystem.h"

namespace orv {

// The largest report descriptor a HID device can have.
constexpr size_t kMaxHidReportDescriptor = 4096;

// The top-level collections in descriptor order. A collection's usage is the first usage declared before
// it; a one- or two-byte usage takes the usage page in effect at the collection. Empty for a descriptor
// that is malformed (an item running past the end, an unbalanced collection or pop, nesting too deep) or
// longer than kMaxHidReportDescriptor: such a device cannot be identified.
std::vector<SHidCaps> ParseTopLevelCollections(const std::vector<uint8_t>& descriptor_I);

}  // namespace orv
