#include "common/fwupdater/cbinaryairoflash.h"

#include "common/fwupdater/csrec.h"

namespace orv {

CBinaryAiroFlash::~CBinaryAiroFlash() = default;

bool CBinaryAiroFlash::Load(const std::string& path_I)
{
  std::vector<uint8_t> data;
  if (!ReadFirmwareFile(path_I, data)) return false;
  mData = std::move(data);
  mStartAddress = 0;
  return true;
}

}  // namespace orv
