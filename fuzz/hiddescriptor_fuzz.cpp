// A HID report descriptor as a device hands it out: whatever it holds, the parser finds collections whose
// feature reports the kernel could carry, or refuses it whole.
#include <cstdlib>

#include "common/fwupdater/chidreportdescriptor.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  const std::vector<uint8_t> descriptor(data, data + size);
  const std::vector<orv::SHidCollection> collections = orv::ParseHidCollections(descriptor);
  const std::vector<orv::SHidCaps> caps = orv::ParseTopLevelCollections(descriptor);
  if (caps.size() != collections.size() || collections.size() > orv::kMaxHidCollections) std::abort();
  for (size_t i = 0; i < collections.size(); ++i) {
    if (!(collections[i].caps == caps[i])) std::abort();
    for (const orv::SHidFeatureReport& report : collections[i].features) {
      if (report.length > orv::kMaxHidReportLength) std::abort();
    }
  }
  return 0;
}
