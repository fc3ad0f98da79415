#include "tools/orvel-fwtool/fwtooltext.h"

#include <cstdarg>
#include <cstdio>

#include "common/fwupdater/csrec.h"

namespace orv {

std::string Format(const char* format_I, ...)
{
  va_list args;
  va_start(args, format_I);
  va_list measure;
  va_copy(measure, args);
  const int length = std::vsnprintf(nullptr, 0, format_I, measure);
  va_end(measure);
  std::string text(length > 0 ? static_cast<size_t>(length) : 0, '\0');
  std::vsnprintf(text.data(), text.size() + 1, format_I, args);
  va_end(args);
  return text;
}


std::string LoadFailure(const CSRec& file_I, const std::string& path_I) { return path_I + ": " + file_I.GetError(); }

std::string SizeSummary(const CSRec& file_I)
{
  switch (file_I.GetFormat()) {
    case EDATASOURCE_HEX:
      return Format("%u bytes at 0x%08X", file_I.GetIntelHex()->GetLength(),
                    static_cast<uint32_t>(file_I.GetIntelHex()->GetStartAddress()));
    case EDATASOURCE_AIROFLASH:
      return Format("%u bytes", file_I.GetAiroFlash()->GetSize());
    case EDATASOURCE_BIN:
      return Format("%u bytes", static_cast<uint32_t>(file_I.GetScaler()->GetData().size()));
    default: {
      uint64_t total = 0;
      const std::vector<SRecSegment> segments = file_I.GetSegments();
      for (const SRecSegment& segment : segments) total += segment.data.size();
      return Format("%zu segment(s), %llu bytes", segments.size(), static_cast<unsigned long long>(total));
    }
  }
}

}  // namespace orv
