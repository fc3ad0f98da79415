// How our displays hand out their EDID over DDC/CI, by device id (vendor id << 16 | product id).
#pragma once

#include <cstdint>

namespace orv {

enum EEdidRead {
  EEDIDREAD_NONE,          // the display has no EDID to read
  EEDIDREAD_BLOCKS,        // 16-byte blocks first, the table read if that yields nothing
  EEDIDREAD_TABLE,         // the table read only
};

struct SDisplayModel {
  EEdidRead edidRead = EEDIDREAD_TABLE;
  // An empty table reply is worth a warning: these displays always answer it.
  bool warnOnEmptyTable = false;
};

// Any display (kAnyDisplay) reads by blocks; ids outside the table read the table.
SDisplayModel DisplayModel(uint32_t deviceId_I);

}  // namespace orv
