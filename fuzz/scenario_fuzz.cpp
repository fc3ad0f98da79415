// The simulation scenario: a platform is built or refused with a reason, never half built.
#include <cstdlib>

#include "sim/csimplatform.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  std::string error;
  const auto platform = orv::sim::CSimPlatform::CreateFromText(std::string(reinterpret_cast<const char*>(data), size), error);
  if (!platform && error.empty()) std::abort();
  return 0;
}
