// One harness per firmware format: the input is written as a file with the format's extension and loaded
// through the file object, as the controller loads an update file.
#pragma once

#include <cstdlib>

#include "common/fwupdater/csrec.h"
#include "fuzz/fuzzsupport.h"

namespace orv::fuzz {

inline int LoadFirmwareFile(const uint8_t* data_I, size_t size_I, const char* extension_I)
{
  CSRec file;
  if (!file.Load(WriteScratchFile(data_I, size_I, extension_I))) return 0;
  // What loaded must be what the programming flows can walk: segments, pages and blocks within their bounds.
  for (const SRecSegment& segment : file.GetSegments()) {
    if (uint64_t{segment.start} + segment.data.size() > 0x100000000ull) std::abort();
  }
  const auto hex = file.GetIntelHex();
  if (hex && hex->GetStartAddress() != -1 && hex->GetLength() % 512 != 0) std::abort();
  return 0;
}

}  // namespace orv::fuzz
