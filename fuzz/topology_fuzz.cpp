// The topology file: whatever it holds, the reader builds models and prototypes or refuses it.
#include "common/fwupdater/ctopologyreader.h"
#include "fuzz/fuzzsupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  const std::string path = orv::fuzz::WriteScratchFile(data, size, ".ini");
  orv::CTopologyReader reader;
  if (reader.Load(path)) {
    for (const orv::CDevice& model : reader.GetModels()) model.GetDescription();
  }
  return 0;
}
