#include "common/fwupdater/cscalarrtdisp.h"

#include "common/fwupdater/csrec.h"

namespace orv {

CScalarRTDISP::~CScalarRTDISP() = default;

bool CScalarRTDISP::Load(const std::string& path_I)
{
  std::vector<uint8_t> data;
  if (!ReadFirmwareFile(path_I, data)) return false;
  mData = std::move(data);
  return true;
}

}  // namespace orv
